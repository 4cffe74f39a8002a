#pragma once
// An error about one file or folder: the path it concerns and a message
// that reads after it ("setup.ini is not a file"). The file layers that
// raise it leave the wording of the whole line to the one place that
// prints it.
//
// It keeps its message in a std::string of its own rather than deriving
// from std::runtime_error: the library's runtime_error copies the message
// into its older reference-counted string kind, which would bring a second
// string implementation and the standard exception classes (about 45 KiB)
// into the installer.

#include <exception>
#include <string>

class EPathError : public std::exception {
public:
    EPathError(std::string subject, std::string message)
        : subject_(std::move(subject)), message_(std::move(message)) {}
    const char* what() const noexcept override { return message_.c_str(); }
    const std::string& Subject() const { return subject_; }

private:
    std::string subject_;
    std::string message_;
};
