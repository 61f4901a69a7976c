#pragma once

#include <exception>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>
#ifndef _WIN32
#include <stdlib.h>
#endif
#include <string>
#include <string_view>

namespace skaldrun::test {

// A fresh folder for one test, removed with everything in it afterwards.
class TempDir {
public:
    TempDir() {
#ifdef _WIN32
        std::random_device seed;
        std::mt19937 random(seed());
        for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
            const auto candidate =
                std::filesystem::temp_directory_path() / ("skaldrun-" + std::to_string(random()));
            if (std::filesystem::create_directory(candidate))
                path_ = candidate;
        }
        if (path_.empty())
            throw std::runtime_error("no temporary folder");
#else
        std::string pattern = (std::filesystem::temp_directory_path() / "skaldrun-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr)
            throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
#endif
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }

    const std::filesystem::path& Path() const noexcept {
        return path_;
    }
    std::string File(std::string_view name) const {
        return (path_ / name).string();
    }

    std::string Write(std::string_view name, std::string_view bytes) const {
        const std::string file = File(name);
        std::ofstream out(file, std::ios::binary);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        out.close();
        if (!out)
            throw std::runtime_error("cannot write " + file);
        return file;
    }

private:
    std::filesystem::path path_;
};

// The message of the Error that action throws, or a text saying what happened instead.
template <typename Error, typename Action>
std::string MessageOf(Action&& action) {
    try {
        action();
    } catch (const Error& e) {
        return e.Message();
    } catch (const std::exception& e) {
        return std::string("unexpected: ") + e.what();
    }
    return "no error";
}

inline std::string ReadBytes(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

} // namespace skaldrun::test
