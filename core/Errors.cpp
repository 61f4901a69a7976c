#include "core/Errors.h"

#include <utility>

namespace skaldrun {

namespace {

std::string FileMessage(std::string_view head, std::string_view fullName, std::string_view reason) {
    std::string text;
    text.reserve(head.size() + fullName.size() + reason.size() + 4);
    text.append(head).append(fullName).append("\". ").append(reason);
    return text;
}

// Text with each %1 in it replaced by name, in one pass.
std::string WithName(std::string_view text, std::string_view name) {
    std::string filled;
    for (std::size_t at = 0; at < text.size(); ++at) {
        if (text.substr(at, 2) == "%1") {
            filled.append(name);
            ++at;
        } else {
            filled.push_back(text[at]);
        }
    }
    return filled;
}

} // namespace

EFOpenError::EFOpenError(std::string_view fullName, std::string_view reason)
    : EFileError(FileMessage("Cannot open file \"", fullName, reason), reason) {}

EFCreateError::EFCreateError(std::string_view fullName, std::string_view reason)
    : EFileError(FileMessage("Cannot create file \"", fullName, reason), reason) {}

ECopyTooLarge::ECopyTooLarge(std::string_view fullName)
    : EFCreateError(fullName, kReason) {}

EWriteError::EWriteError(std::string reason)
    : Exception("Stream write error")
    , reason_(std::move(reason)) {}

EWriteError::EWriteError(std::string reason, std::string keptCopy)
    : Exception("Stream write error. The whole new list is kept in \"" + keptCopy + "\"")
    , reason_(std::move(reason))
    , keptCopy_(std::move(keptCopy)) {}

EConvertError::EConvertError(std::string_view text, std::size_t line)
    : Exception(std::string("'").append(text).append("' is not a valid integer value"))
    , line_(line)
    , duration_(text) {}

EXmlError::EXmlError(std::string reason, std::string name, std::size_t line, std::size_t column)
    : EConvertError(Worded{},
                    "XML: " + WithName(reason, name) + ", column " + std::to_string(column), line)
    , reason_(std::move(reason))
    , name_(std::move(name))
    , column_(column) {}

void ThrowTextExceedsCapacity() {
    throw EInvalidOperation(std::string(kTextExceedsCapacity));
}

std::string ErrorBoxText(std::string_view message) {
    std::string text(message);
    if (!text.empty() && static_cast<unsigned char>(text.back()) > '.')
        text.push_back('.');
    return text;
}

} // namespace skaldrun
