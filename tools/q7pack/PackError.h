#pragma once
// The one error type of the packager: a message that names the input it is
// about. main() prints it as "q7pack: SUBJECT: message".

#include <stdexcept>
#include <string>

class PackError : public std::runtime_error {
public:
    PackError(std::string subject, const std::string& message)
        : std::runtime_error(message), subject_(std::move(subject)) {}
    const std::string& Subject() const { return subject_; }

private:
    std::string subject_;
};
