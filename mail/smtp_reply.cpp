#include "mail/smtp_reply.h"

#include <cstring>

namespace {

constexpr char kCr = '\r';
constexpr char kLf = '\n';
constexpr std::size_t kCodeLength = 3;

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

} // namespace

std::string SmtpReply::text() const {
    std::string text = std::to_string(code);
    for (const std::string& line : lines) {
        if (!line.empty())
            text += " " + line;
    }
    return text;
}

// A bare LF ends a line too. The standard asks servers for CR LF, and every server writes it; but nothing in a
// reply can be smuggled by a lenient reading on this side (replies carry no message, and each line is still read
// strictly), while refusing a sloppy but clear answer would lose an alarm's message. A CR anywhere but before the
// LF is refused: it is how a line would hide another from a reader that splits differently.
bool SmtpReplyReader::feed(std::string_view bytes, std::vector<SmtpReply>& replies) {
    if (error_ != SmtpReplyError::None)
        return false;
    while (!bytes.empty()) {
        const void* found = std::memchr(bytes.data(), kLf, bytes.size());
        const std::size_t end =
            found ? static_cast<std::size_t>(static_cast<const char*>(found) - bytes.data()) : bytes.size();
        // The line end counts toward the bound (the CR is in the line's bytes, the LF is the one more).
        if (line_.size() + end + 1 > kMaxLineLength)
            return fail(SmtpReplyError::LineTooLong);
        line_.append(bytes.data(), end);
        if (!found)
            return true;
        bytes.remove_prefix(end + 1);
        std::string line;
        line.swap(line_);
        if (!line.empty() && line.back() == kCr)
            line.pop_back();
        if (line.find(kCr) != std::string::npos)
            return fail(SmtpReplyError::CarriageReturn);
        if (!takeLine(line, replies))
            return false;
    }
    return true;
}

std::size_t SmtpReplyReader::held() const {
    std::size_t held = line_.size();
    for (const std::string& line : reply_.lines)
        held += line.size();
    return held;
}

void SmtpReplyReader::reset() {
    line_.clear();
    reply_ = SmtpReply{};
    error_ = SmtpReplyError::None;
}

bool SmtpReplyReader::fail(SmtpReplyError error) {
    error_ = error;
    line_.clear();
    reply_ = SmtpReply{};
    return false;
}

// Reply-line = *( Reply-code "-" [ textstring ] CRLF ) Reply-code [ SP textstring ] CRLF, with codes 2yz to 5yz.
bool SmtpReplyReader::takeLine(std::string_view line, std::vector<SmtpReply>& replies) {
    if (line.size() < kCodeLength || line[0] < '2' || line[0] > '5' || !isDigit(line[1]) || !isDigit(line[2]))
        return fail(SmtpReplyError::BadCode);
    const int code = (line[0] - '0') * 100 + (line[1] - '0') * 10 + (line[2] - '0');
    const bool last = line.size() == kCodeLength || line[kCodeLength] == ' ';
    if (!last && line[kCodeLength] != '-')
        return fail(SmtpReplyError::BadSeparator);
    if (!reply_.lines.empty() && code != reply_.code)
        return fail(SmtpReplyError::CodeChanged);
    if (reply_.lines.size() + 1 > kMaxLines)
        return fail(SmtpReplyError::TooManyLines);
    reply_.code = code;
    const std::string_view text = line.size() > kCodeLength ? line.substr(kCodeLength + 1) : std::string_view();
    reply_.lines.emplace_back(text);
    if (last) {
        replies.push_back(std::move(reply_));
        reply_ = SmtpReply{};
    }
    return true;
}
