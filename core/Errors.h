#pragma once

#include <cstddef>
#include <exception>
#include <optional>
#include <string>
#include <string_view>

namespace skaldrun {

// The exit code of both programs for a command line they cannot understand (EX_USAGE).
inline constexpr int kExitUsage = 64;

// Base of every failure the program reports; the message is shown as it stands.
class Exception : public std::exception {
public:
    explicit Exception(std::string message)
        : message_(std::move(message)) {}
    const char* what() const noexcept override { return message_.c_str(); }
    const std::string& Message() const noexcept { return message_; }

private:
    std::string message_;
};

// A file that could not be opened, read or created: the window's message names its full path;
// the system's reason is kept for the command, which names the file as it was given.
class EFileError : public Exception {
public:
    const std::string& Reason() const noexcept { return reason_; }

protected:
    EFileError(std::string message, std::string_view reason)
        : Exception(std::move(message))
        , reason_(reason) {}

private:
    std::string reason_;
};

class EFOpenError : public EFileError {
public:
    EFOpenError(std::string_view fullName, std::string_view reason);
};

class EFCreateError : public EFileError {
public:
    EFCreateError(std::string_view fullName, std::string_view reason);
};

// Neither the file's folder nor the temporary folder takes a copy of the list as it is made, and
// memory holds no more of it than a view does: the save is refused, the old file kept.
class ECopyTooLarge : public EFCreateError {
public:
    explicit ECopyTooLarge(std::string_view fullName);
    static constexpr std::string_view kReason =
        "Neither its folder nor the temporary folder takes a copy of a list over 256 MiB";
};

// The box shows only the fixed text; the command adds the system's reason where one is known.
class EWriteError : public Exception {
public:
    explicit EWriteError(std::string reason = {});
    // A write that failed part way through a file, whose whole new text stays in the named copy.
    EWriteError(std::string reason, std::string keptCopy);
    const std::string& Reason() const noexcept { return reason_; }
    // The copy's full name; empty where the file was left as it was.
    const std::string& KeptCopy() const noexcept { return keptCopy_; }

private:
    std::string reason_;
    std::string keptCopy_;
};

class EInvalidOperation : public Exception {
public:
    using Exception::Exception;
};

class EConvertError : public Exception {
public:
    explicit EConvertError(std::string_view text, std::size_t line = 0);
    // The playlist's line that holds the duration, counted from 1; 0 when not known.
    std::size_t Line() const noexcept { return line_; }
    // The duration that is no number; none for a refusal in its own words.
    const std::optional<std::string>& Duration() const noexcept { return duration_; }

protected:
    struct Worded {};
    EConvertError(Worded, std::string message, std::size_t line)
        : Exception(std::move(message))
        , line_(line) {}

private:
    std::size_t line_;
    std::optional<std::string> duration_;
};

// A playlist refused in its own words, with its line.
class EPlaylistError : public EConvertError {
public:
    EPlaylistError(std::string message, std::size_t line)
        : EConvertError(Worded{}, std::move(message), line) {}
};

// A playlist in XML that is not well-formed, or declares or uses what a playlist never needs:
// refused with its line and column. The reason stays apart, in English (expat's words or the
// reader's, %1 standing for the name it quotes), for the command to word in the user's language.
class EXmlError : public EConvertError {
public:
    EXmlError(std::string reason, std::string name, std::size_t line, std::size_t column);
    const std::string& Reason() const noexcept { return reason_; }
    const std::string& Name() const noexcept { return name_; }
    std::size_t Column() const noexcept { return column_; }

private:
    std::string reason_;
    std::string name_;
    std::size_t column_;
};

inline constexpr std::string_view kTextExceedsCapacity = "Text exceeds memo capacity";

// A text too large for a view.
[[noreturn]] void ThrowTextExceedsCapacity();

// The text of an error box: a period is added unless the message already ends in one,
// in a blank, a control character or punctuation coded below it.
std::string ErrorBoxText(std::string_view message);

} // namespace skaldrun
