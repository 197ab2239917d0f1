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

    // The classic numbers users and support scripts know these by, and their
    // texts: every place that raises or reports one takes it from here.
    static RuntimeError invalidCall() { return {5, "Invalid procedure call or argument"}; }
    static RuntimeError overflow() { return {6, "Overflow"}; }
    static RuntimeError outOfMemory() { return {7, "Out of memory"}; }
    static RuntimeError subscriptOutOfRange() { return {9, "Subscript out of range"}; }
    static RuntimeError divisionByZero() { return {11, "Division by zero"}; }
    static RuntimeError typeMismatch() { return {13, "Type mismatch"}; }
    static RuntimeError internalError() { return {51, "Internal error"}; }
    static RuntimeError fileNotFound() { return {53, "File not found"}; }
    static RuntimeError deviceIOError() { return {57, "Device I/O error"}; }
    static RuntimeError diskFull() { return {61, "Disk full"}; }
    static RuntimeError inputPastEnd() { return {62, "Input past end of file"}; }
    static RuntimeError deviceUnavailable() { return {68, "Device unavailable"}; }
    static RuntimeError permissionDenied() { return {70, "Permission denied"}; }
    static RuntimeError pathFileAccess() { return {75, "Path/File access error"}; }
    static RuntimeError invalidFileFormat() { return {321, "Invalid file format"}; }
    static RuntimeError invalidPortNumber() { return {8002, "Invalid port number"}; }
    static RuntimeError portAlreadyOpen() { return {8005, "Port already open"}; }

private:
    int m_number;
};

} // namespace mk
