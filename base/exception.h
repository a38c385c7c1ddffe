#pragma once
// The general error class: an error that carries a message text for the user. Errors of the
// program's own (EMCIDeviceError, EComboEditError ...) derive from it; the application's
// general error handler shows its message.
#include <stdexcept>
#include <string>

class Exception : public std::runtime_error {
public:
    explicit Exception(const std::string& message) : std::runtime_error(message) {}
    std::string Message() const { return what(); }
};
