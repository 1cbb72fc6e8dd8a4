#include "net/tls_record.h"

#include "net/tls_failure.h"

TlsRecordFront tlsRecordAtFront(std::string_view stream) {
    TlsRecordFront front;
    if (stream.empty())
        return front;
    const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(stream[i]); };
    const std::uint8_t type = byte(0);
    if (type < static_cast<std::uint8_t>(TlsContentType::ChangeCipherSpec) ||
        type > static_cast<std::uint8_t>(TlsContentType::ApplicationData)) {
        front.state = TlsRecordFront::State::NotTls;
        return front;
    }
    front.type = static_cast<TlsContentType>(type);
    // Every version from SSL 3.0 to TLS 1.3 writes 3 as the major version; TLS 1.3 keeps 3.3 on the wire.
    if ((stream.size() > 1 && byte(1) != 3) || (stream.size() > 2 && byte(2) > 4)) {
        front.state = TlsRecordFront::State::NotTls;
        return front;
    }
    if (stream.size() < kTlsRecordHeaderBytes)
        return front;
    const std::size_t body = static_cast<std::size_t>(byte(3)) << 8 | byte(4);
    if (body > kTlsMaxRecordBodyBytes) {
        front.state = TlsRecordFront::State::TooLarge;
        return front;
    }
    if (stream.size() >= kTlsRecordHeaderBytes + body) {
        front.state = TlsRecordFront::State::Complete;
        front.length = kTlsRecordHeaderBytes + body;
    }
    return front;
}

const char* tlsFailureText(TlsFailure failure) {
    switch (failure) {
    case TlsFailure::Untrusted:
        return "certyfikat serwera nie pochodzi od zaufanego wystawcy";
    case TlsFailure::NameMismatch:
        return "certyfikat serwera wystawiono dla innej nazwy";
    case TlsFailure::Expired:
        return "certyfikat serwera jest poza okresem ważności";
    case TlsFailure::Certificate:
        return "certyfikat serwera jest nieprawidłowy";
    case TlsFailure::Handshake:
        return "serwer odrzucił połączenie szyfrowane";
    case TlsFailure::Protocol:
        return "serwer nie odpowiada zgodnie z protokołem TLS";
    case TlsFailure::ConnectionLost:
        return "połączenie szyfrowane zostało przerwane";
    case TlsFailure::System:
        return "błąd obsługi szyfrowania w systemie Windows";
    case TlsFailure::None:
        break;
    }
    return "";
}
