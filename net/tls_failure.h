#pragma once

#include <cstdint>

// Why a TLS connection ended badly, in words no language owns: each caller turns a failure into its own status
// text (and may add the code, for whoever helps the user).
enum class TlsFailure {
    None,
    Untrusted,      // the server's certificate does not lead to an authority this computer trusts (self-signed too)
    NameMismatch,   // the certificate is not for the name (or address) the connection was made to
    Expired,        // the certificate, or one above it, is outside its validity period
    Certificate,    // any other certificate problem: none sent, wrong purpose, bad signature, revoked
    Handshake,      // the server refused the handshake or no protocol and cipher were common to both sides
    Protocol,       // bytes that are not TLS, a record beyond the protocol's size, a record that does not decrypt
    ConnectionLost, // the connection ended without the server's close_notify
    System,         // this computer's TLS provider failed (credentials, memory)
};

// A failure and the system's code behind it (a SECURITY_STATUS or a CERT_E_ value), 0 when the channel found the
// fault itself.
struct TlsError {
    TlsFailure failure = TlsFailure::None;
    std::uint32_t code = 0;

    explicit operator bool() const { return failure != TlsFailure::None; }
};

// What the status line says of a failure (UTF-8, no final full stop): "certyfikat serwera nie pochodzi od zaufanego
// wystawcy".
const char* tlsFailureText(TlsFailure failure);

// A short fixed token per failure, for logs and test drivers: "untrusted", "name", ...
constexpr const char* tlsFailureToken(TlsFailure failure) {
    switch (failure) {
    case TlsFailure::None:
        return "none";
    case TlsFailure::Untrusted:
        return "untrusted";
    case TlsFailure::NameMismatch:
        return "name";
    case TlsFailure::Expired:
        return "expired";
    case TlsFailure::Certificate:
        return "certificate";
    case TlsFailure::Handshake:
        return "handshake";
    case TlsFailure::Protocol:
        return "protocol";
    case TlsFailure::ConnectionLost:
        return "lost";
    case TlsFailure::System:
        return "system";
    }
    return "none";
}
