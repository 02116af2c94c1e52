#pragma once

#include <stdexcept>
#include <string>

namespace pelvano {

// The one error type of the core. Its message is shown to the user as it
// stands (the window appends a full stop where needed), so it must read
// well on its own.
class Error : public std::runtime_error {
public:
    explicit Error(const std::string& message) : std::runtime_error(message), reason_(message) {}
    // An error about a file: "path: reason". Some callers show the reason
    // in a sentence of their own.
    Error(const std::string& path, const std::string& reason)
        : std::runtime_error(path + ": " + reason),
          reason_(reason)
    {
    }

    // What went wrong, without the file it was about.
    const std::string& reason() const { return reason_; }

private:
    std::string reason_;
};

}  // namespace pelvano
