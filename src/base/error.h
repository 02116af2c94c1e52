#pragma once

#include <stdexcept>
#include <string>

namespace pelvano {

// The one error type of the core. Its message is shown to the user as it
// stands (the window appends a full stop where needed), so it must read
// well on its own.
class Error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

}  // namespace pelvano
