#include "net/win/tls_channel.h"

#include "net/tls_record.h"
#include "net/win/winsock.h"
#include "win/system_library.h"
#include "win/text.h"

// SSPI's declarations are behind SECURITY_WIN32; the chain's URL retrieval timeout is one of CERT_CHAIN_PARA's
// later fields.
#define SECURITY_WIN32
#define CERT_CHAIN_PARA_HAS_EXTRA_FIELDS
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <wincrypt.h>
#include <schannel.h>
#include <security.h>

#include <algorithm>
#include <type_traits>
#include <cstring>
#include <optional>

namespace {

// secur32 and crypt32 are loaded, with the megabytes they bring, only once a connection is to be encrypted: a
// station that never encrypts never carries them. SSPI's functions come as one table.
const SecurityFunctionTableW* sspi() {
    static const SecurityFunctionTableW* const table = [] {
        const auto init =
            systemFunction<INIT_SECURITY_INTERFACE_W>(systemLibrary(L"secur32.dll"), "InitSecurityInterfaceW");
        return init != nullptr ? init() : nullptr;
    }();
    return table;
}

struct Crypt32 {
    decltype(&::CertFreeCertificateContext) freeCertificateContext;
    decltype(&::CertFreeCertificateChain) freeCertificateChain;
    decltype(&::CertFindExtension) findExtension;
    decltype(&::CertGetCertificateChain) getCertificateChain;
    decltype(&::CertVerifyCertificateChainPolicy) verifyCertificateChainPolicy;
    decltype(&::CryptDecodeObjectEx) decodeObject;
};

const Crypt32* crypt32() {
    static const Crypt32* const loaded = []() -> const Crypt32* {
        static Crypt32 table{};
        const HMODULE module = systemLibrary(L"crypt32.dll");
        const auto take = [module](auto& function, const char* name) {
            function = systemFunction<std::remove_reference_t<decltype(function)>>(module, name);
            return function != nullptr;
        };
        const bool complete = take(table.freeCertificateContext, "CertFreeCertificateContext") &&
                              take(table.freeCertificateChain, "CertFreeCertificateChain") &&
                              take(table.findExtension, "CertFindExtension") &&
                              take(table.getCertificateChain, "CertGetCertificateChain") &&
                              take(table.verifyCertificateChainPolicy, "CertVerifyCertificateChainPolicy") &&
                              take(table.decodeObject, "CryptDecodeObjectEx");
        return complete ? &table : nullptr;
    }();
    return loaded;
}

// SSPI handles are pairs of words whose empty value is SecInvalidateHandle's, not a null pointer.
template <typename Traits> class UniqueSecHandle {
public:
    UniqueSecHandle() { SecInvalidateHandle(&handle_); }
    ~UniqueSecHandle() { reset(); }
    UniqueSecHandle(const UniqueSecHandle&) = delete;
    UniqueSecHandle& operator=(const UniqueSecHandle&) = delete;

    SecHandle* get() { return &handle_; }
    explicit operator bool() const { return SecIsValidHandle(&handle_); }
    void reset() {
        if (SecIsValidHandle(&handle_))
            Traits::free(&handle_);
        SecInvalidateHandle(&handle_);
    }

private:
    SecHandle handle_;
};

struct CredentialsTraits {
    static void free(SecHandle* handle) { sspi()->FreeCredentialsHandle(handle); }
};
struct ContextTraits {
    static void free(SecHandle* handle) { sspi()->DeleteSecurityContext(handle); }
};
using CredentialsHandle = UniqueSecHandle<CredentialsTraits>;
using ContextHandle = UniqueSecHandle<ContextTraits>;

struct CertificateDeleter {
    void operator()(const CERT_CONTEXT* certificate) const { crypt32()->freeCertificateContext(certificate); }
};
using Certificate = std::unique_ptr<const CERT_CONTEXT, CertificateDeleter>;
struct ChainDeleter {
    void operator()(const CERT_CHAIN_CONTEXT* chain) const { crypt32()->freeCertificateChain(chain); }
};
using Chain = std::unique_ptr<const CERT_CHAIN_CONTEXT, ChainDeleter>;
struct LocalDeleter {
    void operator()(void* memory) const { LocalFree(memory); }
};

// The tokens SChannel allocates for us (ISC_REQ_ALLOCATE_MEMORY), freed however the call went.
struct OutputTokens {
    SecBuffer buffers[2] = {{0, SECBUFFER_TOKEN, nullptr}, {0, SECBUFFER_ALERT, nullptr}};
    SecBufferDesc desc{SECBUFFER_VERSION, 2, buffers};
    OutputTokens() = default;
    OutputTokens(const OutputTokens&) = delete;
    OutputTokens& operator=(const OutputTokens&) = delete;
    ~OutputTokens() {
        for (SecBuffer& buffer : buffers)
            if (buffer.pvBuffer)
                sspi()->FreeContextBuffer(buffer.pvBuffer);
    }
};

// Manual validation, so that the check below is the one that decides and its reason can be told. The client never
// offers a certificate of its own: Windows would otherwise pick one from the user's store, and might ask for a
// smart card's PIN in a window nobody is there to answer.
constexpr unsigned long kContextFlags = ISC_REQ_SEQUENCE_DETECT | ISC_REQ_REPLAY_DETECT | ISC_REQ_CONFIDENTIALITY |
                                        ISC_REQ_EXTENDED_ERROR | ISC_REQ_ALLOCATE_MEMORY | ISC_REQ_STREAM |
                                        ISC_REQ_MANUAL_CRED_VALIDATION | ISC_REQ_USE_SUPPLIED_CREDS;

constexpr std::uint32_t code(long status) {
    return static_cast<std::uint32_t>(status);
}

// The length of the complete records at the front of `stream`; nullopt when its bytes are not TLS.
std::optional<std::size_t> completeRecords(std::string_view stream) {
    std::size_t length = 0;
    for (;;) {
        const TlsRecordFront front = tlsRecordAtFront(stream.substr(length));
        if (front.state == TlsRecordFront::State::NeedMore)
            return length;
        if (front.state != TlsRecordFront::State::Complete)
            return std::nullopt;
        length += front.length;
    }
}

TlsFailure handshakeFailure(SECURITY_STATUS status) {
    switch (status) {
    case SEC_E_INSUFFICIENT_MEMORY:
    case SEC_E_NO_CREDENTIALS:
    case SEC_E_INVALID_HANDLE:
    case SEC_E_SECPKG_NOT_FOUND:
        return TlsFailure::System;
    // Automatic validation is off, but a system that judges anyway says so in these words.
    case SEC_E_UNTRUSTED_ROOT:
        return TlsFailure::Untrusted;
    case SEC_E_WRONG_PRINCIPAL:
        return TlsFailure::NameMismatch;
    case SEC_E_CERT_EXPIRED:
        return TlsFailure::Expired;
    case SEC_E_CERT_UNKNOWN:
        return TlsFailure::Certificate;
    default:
        // Wine reports every alert and every broken handshake as SEC_E_INTERNAL_ERROR, Windows mostly as
        // SEC_E_ILLEGAL_MESSAGE or SEC_E_ALGORITHM_MISMATCH: to the user all of them are a refused handshake.
        return TlsFailure::Handshake;
    }
}

TlsFailure certificateFailure(DWORD policyError) {
    switch (policyError) {
    case code(CERT_E_UNTRUSTEDROOT):
    case code(CERT_E_UNTRUSTEDTESTROOT):
    case code(CERT_E_CHAINING):
        return TlsFailure::Untrusted;
    case code(CERT_E_CN_NO_MATCH):
        return TlsFailure::NameMismatch;
    case code(CERT_E_EXPIRED):
    case code(CERT_E_VALIDITYPERIODNESTING):
        return TlsFailure::Expired;
    default:
        return TlsFailure::Certificate;
    }
}

// The faults a chain's own status records. Wine 8.0's SSL policy judges only an untrusted root, a bad signature, a
// cycle and the time: a chain that stops short of any root (its issuer is in no store, CERT_TRUST_IS_PARTIAL_CHAIN)
// passes it. So the chain's status is read too, for what a lenient policy lets through.
struct ChainFault {
    DWORD bits;
    TlsFailure failure;
    long code;
};
constexpr ChainFault kChainFaults[] = {
    {CERT_TRUST_IS_PARTIAL_CHAIN, TlsFailure::Untrusted, CERT_E_CHAINING},
    {CERT_TRUST_IS_UNTRUSTED_ROOT | CERT_TRUST_IS_CYCLIC | CERT_TRUST_IS_EXPLICIT_DISTRUST, TlsFailure::Untrusted,
     CERT_E_UNTRUSTEDROOT},
    {CERT_TRUST_IS_NOT_TIME_VALID, TlsFailure::Expired, CERT_E_EXPIRED},
    {CERT_TRUST_IS_NOT_SIGNATURE_VALID, TlsFailure::Certificate, TRUST_E_CERT_SIGNATURE},
    {CERT_TRUST_IS_REVOKED, TlsFailure::Certificate, CRYPT_E_REVOKED},
    {CERT_TRUST_IS_NOT_VALID_FOR_USAGE, TlsFailure::Certificate, CERT_E_WRONG_USAGE},
    {CERT_TRUST_INVALID_BASIC_CONSTRAINTS, TlsFailure::Certificate, TRUST_E_BASIC_CONSTRAINTS},
};

// Whether the certificate names `address` (4 or 16 bytes) among its subject alternative names. An address is never
// matched against a DNS name or the common name, which a certificate authority does not check as an address.
bool namesAddress(const CERT_CONTEXT& certificate, const std::string& address) {
    const CERT_EXTENSION* extension = crypt32()->findExtension(
        szOID_SUBJECT_ALT_NAME2, certificate.pCertInfo->cExtension, certificate.pCertInfo->rgExtension);
    if (!extension)
        return false;
    CERT_ALT_NAME_INFO* names = nullptr;
    DWORD size = 0;
    if (!crypt32()->decodeObject(X509_ASN_ENCODING, X509_ALTERNATE_NAME, extension->Value.pbData,
                                 extension->Value.cbData, CRYPT_DECODE_ALLOC_FLAG, nullptr, &names, &size))
        return false;
    const std::unique_ptr<CERT_ALT_NAME_INFO, LocalDeleter> owned(names);
    for (DWORD i = 0; i < names->cAltEntry; ++i) {
        const CERT_ALT_NAME_ENTRY& entry = names->rgAltEntry[i];
        if (entry.dwAltNameChoice == CERT_ALT_NAME_IP_ADDRESS && entry.IPAddress.cbData == address.size() &&
            std::memcmp(entry.IPAddress.pbData, address.data(), address.size()) == 0)
            return true;
    }
    return false;
}

} // namespace

struct CTlsChannel::Impl {
    State state = State::Idle;
    std::wstring host;   // the server name (SNI) the certificate must carry; empty for an address
    std::string address; // the 4 or 16 bytes of an IP literal, which the certificate must carry
    CredentialsHandle credentials;
    ContextHandle context;
    SecPkgContext_StreamSizes sizes{};
    std::string incoming;       // received bytes not yet taken by SChannel
    std::size_t triedReady = 0; // complete handshake records SChannel last found incomplete
    bool peerClosed = false;
    bool closeSent = false;

    void fail(Step& step, TlsFailure failure, std::uint32_t status);
    SECURITY_STATUS initialize(SecBufferDesc* input, Step& step);
    void handshake(Step& step);
    void open(Step& step);
    void decrypt(Step& step);
    bool postHandshake(Step& step);
    TlsError checkCertificate();
};

// A failed channel keeps nothing the peer sent.
void CTlsChannel::Impl::fail(Step& step, TlsFailure failure, std::uint32_t status) {
    state = State::Failed;
    step.error = {failure, status};
    std::string().swap(incoming);
}

// One InitializeSecurityContext call; whatever it gives to send (a handshake message, an alert) is added to the
// step's bytes.
SECURITY_STATUS CTlsChannel::Impl::initialize(SecBufferDesc* input, Step& step) {
    OutputTokens output;
    unsigned long attributes = 0;
    const bool first = !context;
    const SECURITY_STATUS status = sspi()->InitializeSecurityContextW(
        credentials.get(), first ? nullptr : context.get(), host.empty() ? nullptr : host.data(), kContextFlags, 0, 0,
        input, 0, context.get(), &output.desc, &attributes, nullptr);
    for (const SecBuffer& buffer : output.buffers)
        if (buffer.pvBuffer && buffer.cbBuffer)
            step.send.append(static_cast<const char*>(buffer.pvBuffer), buffer.cbBuffer);
    return status;
}

// Complete records only go to SChannel: it judges records whole, and Wine's reads a record header from the buffer
// before it checks that the buffer holds one. What a call leaves unused comes back as SECBUFFER_EXTRA and stays at
// the front for the next call; with the last handshake message it may be the server's first application records.
void CTlsChannel::Impl::handshake(Step& step) {
    while (state == State::Handshaking) {
        const std::optional<std::size_t> ready = completeRecords(incoming);
        if (!ready) {
            fail(step, TlsFailure::Protocol, code(SEC_E_ILLEGAL_MESSAGE));
            return;
        }
        if (incoming.size() > kMaxHandshakeBytes) {
            fail(step, TlsFailure::Protocol, code(SEC_E_ILLEGAL_MESSAGE));
            return;
        }
        if (*ready == 0 || *ready == triedReady)
            return;
        SecBuffer input[2] = {{static_cast<unsigned long>(*ready), SECBUFFER_TOKEN, incoming.data()},
                              {0, SECBUFFER_EMPTY, nullptr}};
        SecBufferDesc inputDesc{SECBUFFER_VERSION, 2, input};
        const SECURITY_STATUS status = initialize(&inputDesc, step);
        if (status == SEC_E_INCOMPLETE_MESSAGE) {
            // A handshake message spans records still on their way: the same records go again with more.
            triedReady = *ready;
            return;
        }
        triedReady = 0;
        const std::size_t extra =
            input[1].BufferType == SECBUFFER_EXTRA ? std::min<std::size_t>(input[1].cbBuffer, *ready) : 0;
        if (status == SEC_I_CONTINUE_NEEDED) {
            if (extra == *ready) {
                triedReady = *ready; // nothing taken: more must come first
                return;
            }
            incoming.erase(0, *ready - extra);
            continue;
        }
        if (status == SEC_E_OK) {
            incoming.erase(0, *ready - extra);
            open(step);
            return;
        }
        // SEC_I_INCOMPLETE_CREDENTIALS ends here too: the server asks for a client certificate, and this program
        // has none to give.
        fail(step, FAILED(status) ? handshakeFailure(status) : TlsFailure::Handshake, code(status));
    }
}

void CTlsChannel::Impl::open(Step& step) {
    const TlsError problem = checkCertificate();
    if (problem) {
        fail(step, problem.failure, problem.code);
        return;
    }
    const SECURITY_STATUS status = sspi()->QueryContextAttributesW(context.get(), SECPKG_ATTR_STREAM_SIZES, &sizes);
    if (status != SEC_E_OK || sizes.cbMaximumMessage == 0) {
        fail(step, TlsFailure::System, code(status));
        return;
    }
    state = State::Open;
    step.opened = true;
    decrypt(step);
}

// One record per DecryptMessage call, so that the record's own content type is known: Wine (GnuTLS underneath)
// reports the server's close_notify as an alert record that decrypts to nothing with SEC_E_OK, where Windows says
// SEC_I_CONTEXT_EXPIRED. Any alert that decrypts to nothing ends the stream: once the handshake is over, a server
// sends no other warning but user_canceled, which a close_notify follows.
void CTlsChannel::Impl::decrypt(Step& step) {
    while (state == State::Open) {
        const TlsRecordFront front = tlsRecordAtFront(incoming);
        if (front.state == TlsRecordFront::State::NeedMore)
            return;
        if (front.state != TlsRecordFront::State::Complete) {
            fail(step, TlsFailure::Protocol, code(SEC_E_ILLEGAL_MESSAGE));
            return;
        }
        SecBuffer buffers[4] = {{static_cast<unsigned long>(front.length), SECBUFFER_DATA, incoming.data()},
                                {0, SECBUFFER_EMPTY, nullptr},
                                {0, SECBUFFER_EMPTY, nullptr},
                                {0, SECBUFFER_EMPTY, nullptr}};
        SecBufferDesc desc{SECBUFFER_VERSION, 4, buffers};
        const SECURITY_STATUS status = sspi()->DecryptMessage(context.get(), &desc, 0, nullptr);
        if (status != SEC_E_OK && status != SEC_I_RENEGOTIATE && status != SEC_I_CONTEXT_EXPIRED) {
            fail(step, TlsFailure::Protocol, code(status));
            return;
        }
        // The plaintext lies inside `incoming`: taken before the record is dropped.
        std::size_t plain = 0;
        std::size_t extra = 0;
        for (const SecBuffer& buffer : buffers) {
            if (buffer.BufferType == SECBUFFER_DATA && buffer.pvBuffer && buffer.cbBuffer) {
                step.received.append(static_cast<const char*>(buffer.pvBuffer), buffer.cbBuffer);
                plain += buffer.cbBuffer;
            } else if (buffer.BufferType == SECBUFFER_EXTRA) {
                extra = std::min<std::size_t>(buffer.cbBuffer, front.length);
            }
        }
        incoming.erase(0, front.length - extra);
        if (status == SEC_I_CONTEXT_EXPIRED || (front.type == TlsContentType::Alert && plain == 0)) {
            state = State::Closed;
            peerClosed = true;
            step.peerClosed = true;
            std::string().swap(incoming);
            return;
        }
        if (status == SEC_I_RENEGOTIATE && !postHandshake(step))
            return;
    }
}

// A handshake message after the handshake. Under TLS 1.3 (session tickets, key updates) one call takes it, as
// Microsoft's documentation says, with what follows it in the stream. A TLS 1.2 renegotiation would take round
// trips while application data waits on both sides; no MQTT broker or mail server asks for one, so it fails the
// channel cleanly and the caller connects again.
bool CTlsChannel::Impl::postHandshake(Step& step) {
    const std::optional<std::size_t> ready = completeRecords(incoming);
    if (!ready) {
        fail(step, TlsFailure::Protocol, code(SEC_E_ILLEGAL_MESSAGE));
        return false;
    }
    SecBuffer input[2] = {{static_cast<unsigned long>(*ready), SECBUFFER_TOKEN, *ready ? incoming.data() : nullptr},
                          {0, SECBUFFER_EMPTY, nullptr}};
    SecBufferDesc inputDesc{SECBUFFER_VERSION, 2, input};
    const SECURITY_STATUS status = initialize(&inputDesc, step);
    if (status != SEC_E_OK) {
        fail(step, TlsFailure::Protocol, code(FAILED(status) ? status : SEC_I_RENEGOTIATE));
        return false;
    }
    const std::size_t extra =
        input[1].BufferType == SECBUFFER_EXTRA ? std::min<std::size_t>(input[1].cbBuffer, *ready) : 0;
    incoming.erase(0, *ready - extra);
    return true;
}

// The chain is built from the certificates the server sent (its own store) up to a root in the Windows store, for
// server authentication, and judged by the SSL policy with the host name, then by its own status (kChainFaults). No
// revocation check: it would wait on servers of the certificate authority that a site without internet access never
// reaches, and no deadline of the caller can interrupt it. The system may still fetch a missing intermediate or root,
// within the retrieval timeout.
TlsError CTlsChannel::Impl::checkCertificate() {
    const CERT_CONTEXT* received = nullptr;
    const SECURITY_STATUS status =
        sspi()->QueryContextAttributesW(context.get(), SECPKG_ATTR_REMOTE_CERT_CONTEXT, &received);
    if (status != SEC_E_OK || !received)
        return {TlsFailure::Certificate, code(status)};
    const Certificate certificate(received);

    LPSTR usages[] = {const_cast<LPSTR>(szOID_PKIX_KP_SERVER_AUTH)};
    CERT_CHAIN_PARA chainPara{};
    chainPara.cbSize = sizeof chainPara;
    chainPara.RequestedUsage.dwType = USAGE_MATCH_TYPE_AND;
    chainPara.RequestedUsage.Usage.cUsageIdentifier = 1;
    chainPara.RequestedUsage.Usage.rgpszUsageIdentifier = usages;
    chainPara.dwUrlRetrievalTimeout = kUrlRetrievalTimeoutMs;
    const CERT_CHAIN_CONTEXT* built = nullptr;
    if (!crypt32()->getCertificateChain(nullptr, received, nullptr, received->hCertStore, &chainPara, 0, nullptr,
                                        &built))
        return {TlsFailure::Certificate, static_cast<std::uint32_t>(GetLastError())};
    const Chain chain(built);

    HTTPSPolicyCallbackData ssl{};
    ssl.cbStruct = sizeof ssl;
    ssl.dwAuthType = AUTHTYPE_SERVER;
    ssl.pwszServerName = address.empty() ? host.data() : nullptr;
    CERT_CHAIN_POLICY_PARA policy{};
    policy.cbSize = sizeof policy;
    policy.pvExtraPolicyPara = &ssl;
    CERT_CHAIN_POLICY_STATUS verdict{};
    verdict.cbSize = sizeof verdict;
    if (!crypt32()->verifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, built, &policy, &verdict))
        return {TlsFailure::Certificate, static_cast<std::uint32_t>(GetLastError())};
    if (verdict.dwError != 0)
        return {certificateFailure(verdict.dwError), verdict.dwError};
    for (const ChainFault& fault : kChainFaults)
        if (built->TrustStatus.dwErrorStatus & fault.bits)
            return {fault.failure, code(fault.code)};
    if (!address.empty() && !namesAddress(*received, address))
        return {TlsFailure::NameMismatch, code(CERT_E_CN_NO_MATCH)};
    return {};
}

CTlsChannel::CTlsChannel() : impl_(std::make_unique<Impl>()) {}

CTlsChannel::~CTlsChannel() = default;

// TLS 1.2 only, through SCHANNEL_CRED, which every Windows from 7 on takes: TLS 1.3 needs SCH_CREDENTIALS (Windows 10
// and later), and Wine 8.0, which accepts that structure, has no TLS 1.3 to offer (asked for it alone, it answers
// SEC_E_NO_AUTHENTICATING_AUTHORITY). Nothing older than 1.2 is offered.
CTlsChannel::Step CTlsChannel::start(std::string_view host) {
    Step step;
    Impl& d = *impl_;
    if (d.state != State::Idle)
        return step;
    if (host.empty() || host.find('\0') != std::string_view::npos) {
        d.fail(step, TlsFailure::System, code(SEC_E_INVALID_PARAMETER));
        return step;
    }
    // Every handle below exists only once these are there.
    if (sspi() == nullptr || crypt32() == nullptr || winsock() == nullptr) {
        d.fail(step, TlsFailure::System, code(SEC_E_SECPKG_NOT_FOUND));
        return step;
    }
    d.host = widen(host);
    IN_ADDR v4{};
    IN6_ADDR v6{};
    if (winsock()->inetPton(AF_INET, d.host.c_str(), &v4) == 1)
        d.address.assign(reinterpret_cast<const char*>(&v4), sizeof v4);
    else if (winsock()->inetPton(AF_INET6, d.host.c_str(), &v6) == 1)
        d.address.assign(reinterpret_cast<const char*>(&v6), sizeof v6);
    // An address is no server name: it goes neither into SNI nor into the name check.
    if (!d.address.empty())
        d.host.clear();

    SCHANNEL_CRED credentials{};
    credentials.dwVersion = SCHANNEL_CRED_VERSION;
    credentials.grbitEnabledProtocols = SP_PROT_TLS1_2_CLIENT;
    credentials.dwFlags = SCH_CRED_MANUAL_CRED_VALIDATION | SCH_CRED_NO_DEFAULT_CREDS | SCH_USE_STRONG_CRYPTO;
    const SECURITY_STATUS acquired =
        sspi()->AcquireCredentialsHandleW(nullptr, const_cast<SEC_WCHAR*>(UNISP_NAME_W), SECPKG_CRED_OUTBOUND, nullptr,
                                          &credentials, nullptr, nullptr, d.credentials.get(), nullptr);
    if (acquired != SEC_E_OK) {
        d.fail(step, TlsFailure::System, code(acquired));
        return step;
    }
    d.state = State::Handshaking;
    const SECURITY_STATUS status = d.initialize(nullptr, step);
    if (status != SEC_I_CONTINUE_NEEDED)
        d.fail(step, FAILED(status) ? handshakeFailure(status) : TlsFailure::System, code(status));
    return step;
}

CTlsChannel::Step CTlsChannel::received(std::string_view bytes) {
    Step step;
    Impl& d = *impl_;
    if (d.state != State::Handshaking && d.state != State::Open)
        return step;
    d.incoming.append(bytes);
    if (d.state == State::Handshaking)
        d.handshake(step);
    else
        d.decrypt(step);
    return step;
}

// Each record holds at most the connection's maximum message, between the header and the trailer whose sizes
// SChannel gave; the header, the data and the trailer it writes are sent as they come back, whatever their lengths.
CTlsChannel::Step CTlsChannel::send(std::string_view application) {
    Step step;
    Impl& d = *impl_;
    if (d.state != State::Open)
        return step;
    const std::size_t most = d.sizes.cbMaximumMessage;
    std::string record;
    for (std::size_t at = 0; at < application.size();) {
        const std::size_t length = std::min(most, application.size() - at);
        record.assign(d.sizes.cbHeader + length + d.sizes.cbTrailer, '\0');
        std::memcpy(record.data() + d.sizes.cbHeader, application.data() + at, length);
        SecBuffer buffers[4] = {
            {d.sizes.cbHeader, SECBUFFER_STREAM_HEADER, record.data()},
            {static_cast<unsigned long>(length), SECBUFFER_DATA, record.data() + d.sizes.cbHeader},
            {d.sizes.cbTrailer, SECBUFFER_STREAM_TRAILER, record.data() + d.sizes.cbHeader + length},
            {0, SECBUFFER_EMPTY, nullptr}};
        SecBufferDesc desc{SECBUFFER_VERSION, 4, buffers};
        const SECURITY_STATUS status = sspi()->EncryptMessage(d.context.get(), 0, &desc, 0);
        if (status != SEC_E_OK) {
            d.fail(step, TlsFailure::System, code(status));
            return step;
        }
        for (int i = 0; i < 3; ++i)
            step.send.append(static_cast<const char*>(buffers[i].pvBuffer), buffers[i].cbBuffer);
        at += length;
    }
    return step;
}

// SCHANNEL_SHUTDOWN, then one more InitializeSecurityContext writes the close_notify (Wine 8.0's does too). Where a
// provider cannot make one the step is empty, and the socket's end says the rest.
CTlsChannel::Step CTlsChannel::close() {
    Step step;
    Impl& d = *impl_;
    if ((d.state == State::Open || (d.state == State::Closed && d.peerClosed)) && !d.closeSent) {
        d.closeSent = true;
        DWORD type = SCHANNEL_SHUTDOWN;
        SecBuffer token{sizeof type, SECBUFFER_TOKEN, &type};
        SecBufferDesc tokenDesc{SECBUFFER_VERSION, 1, &token};
        if (sspi()->ApplyControlToken(d.context.get(), &tokenDesc) == SEC_E_OK)
            d.initialize(nullptr, step);
    }
    if (d.state == State::Handshaking || d.state == State::Open)
        d.state = State::Closed;
    std::string().swap(d.incoming);
    return step;
}

CTlsChannel::Step CTlsChannel::transportEnded() {
    Step step;
    Impl& d = *impl_;
    if (d.state == State::Handshaking || d.state == State::Open)
        d.fail(step, TlsFailure::ConnectionLost, 0);
    return step;
}

CTlsChannel::State CTlsChannel::state() const {
    return impl_->state;
}

std::string CTlsChannel::protocol() const {
    if (impl_->state != State::Open && impl_->state != State::Closed)
        return {};
    SecPkgContext_ConnectionInfo info{};
    if (sspi()->QueryContextAttributesW(impl_->context.get(), SECPKG_ATTR_CONNECTION_INFO, &info) != SEC_E_OK)
        return {};
    if (info.dwProtocol & SP_PROT_TLS1_3_CLIENT)
        return "TLS 1.3";
    if (info.dwProtocol & SP_PROT_TLS1_2_CLIENT)
        return "TLS 1.2";
    if (info.dwProtocol & SP_PROT_TLS1_1_CLIENT)
        return "TLS 1.1";
    if (info.dwProtocol & SP_PROT_TLS1_0_CLIENT)
        return "TLS 1.0";
    return "TLS";
}
