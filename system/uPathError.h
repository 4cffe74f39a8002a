#pragma once
// An error about one file or folder: the path it concerns and a message
// that reads after it ("setup.ini is not a file"). The file layers that
// raise it leave the wording of the whole line to the one place that
// prints it.

#include <stdexcept>
#include <string>

class EPathError : public std::runtime_error {
public:
    EPathError(std::string subject, const std::string& message)
        : std::runtime_error(message), subject_(std::move(subject)) {}
    const std::string& Subject() const { return subject_; }

private:
    std::string subject_;
};
