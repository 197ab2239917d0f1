#pragma once
// The run-time errors a user command can run into. Handlers catch them and
// show their number and description in the command's message box, so a bad
// index or a value that does not fit is a reported error, never a crash.
#include <stdexcept>
#include <string>

namespace mk {

class RuntimeError : public std::runtime_error {
public:
    RuntimeError(int number, const std::string& description)
        : std::runtime_error(description), m_number(number) {}

    int number() const noexcept { return m_number; }
    std::string description() const { return what(); }

    // The classic numbers users and support scripts know these by.
    static RuntimeError invalidCall() { return {5, "Invalid procedure call or argument"}; }
    static RuntimeError overflow() { return {6, "Overflow"}; }
    static RuntimeError outOfMemory() { return {7, "Out of memory"}; }
    static RuntimeError subscriptOutOfRange() { return {9, "Subscript out of range"}; }
    static RuntimeError divisionByZero() { return {11, "Division by zero"}; }
    static RuntimeError typeMismatch() { return {13, "Type mismatch"}; }
    static RuntimeError deviceUnavailable() { return {68, "Device unavailable"}; }
    static RuntimeError deviceIOError() { return {57, "Device I/O error"}; }

private:
    int m_number;
};

} // namespace mk
