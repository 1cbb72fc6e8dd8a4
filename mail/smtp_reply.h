#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// An SMTP server's reply (RFC 5321 4.2): a three-digit code and one or more lines of text.
struct SmtpReply {
    int code = 0;
    std::vector<std::string> lines; // each line's text after the code and its separator; may be empty

    // "550 5.1.1 User unknown": the code and the lines' texts, joined by blanks.
    std::string text() const;
};

enum class SmtpReplyError {
    None,
    LineTooLong,    // a line longer than kMaxLineLength
    TooManyLines,   // a reply of more than kMaxLines lines
    BadCode,        // a line that does not start with a reply code
    BadSeparator,   // neither '-' nor a blank nor the line's end after the code
    CodeChanged,    // a continuation line with another code than the first
    CarriageReturn, // a CR that does not end a line
};

// Reads replies from the bytes a server sends, in whatever chunks they come. Lines end with CR LF; a bare LF is
// taken as a line end too. Bounded: a reply of more lines, or a line longer, than the bounds below is an error, so
// what is held never exceeds kMaxLines * kMaxLineLength bytes whatever the server sends. After an error every feed
// fails until reset().
class SmtpReplyReader {
public:
    static constexpr std::size_t kMaxLineLength = 1000; // with its line end
    static constexpr std::size_t kMaxLines = 64;

    // Appends the replies the bytes complete to `replies`; false once the bytes are no replies (see error()).
    bool feed(std::string_view bytes, std::vector<SmtpReply>& replies);
    void reset();

    // Bytes of a reply not yet complete are held.
    bool midReply() const { return !line_.empty() || !reply_.lines.empty(); }
    std::size_t held() const;
    SmtpReplyError error() const { return error_; }

private:
    bool fail(SmtpReplyError error);
    bool takeLine(std::string_view line, std::vector<SmtpReply>& replies);

    std::string line_; // the line begun, without its line end
    SmtpReply reply_;  // the lines of the reply begun
    SmtpReplyError error_ = SmtpReplyError::None;
};
