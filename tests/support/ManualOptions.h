#pragma once

// The options a program's --help and its manual page each name, so that a test can hold them to
// one list.

#include <fstream>
#include <iterator>
#include <regex>
#include <set>
#include <string>

namespace skaldrun::test {

// "-x" and "--name" as they stand in text; in a manual's roff source, where a dash is "\-", the
// same once the escapes are read.
inline std::set<std::string> OptionsNamed(std::string text, bool roff) {
    if (roff)
        text = std::regex_replace(text, std::regex(R"(\\-)"), "-");
    std::set<std::string> options;
    static const std::regex option(R"((^|[\s\[|,(>]|\\fB)(--?[A-Za-z][A-Za-z0-9-]*))");
    for (auto it = std::sregex_iterator(text.begin(), text.end(), option);
         it != std::sregex_iterator(); ++it)
        options.insert((*it)[2].str());
    return options;
}

// The part of a manual's source from one section heading to the next.
inline std::string ManualSection(const std::string& path, const std::string& section) {
    std::ifstream file(path);
    const std::string text((std::istreambuf_iterator<char>(file)),
                           std::istreambuf_iterator<char>());
    const std::size_t from = text.find(".SH " + section + "\n");
    if (from == std::string::npos)
        return {};
    const std::size_t to = text.find("\n.SH ", from + 1);
    return text.substr(from, to == std::string::npos ? std::string::npos : to - from);
}

} // namespace skaldrun::test
