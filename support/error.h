// support/error.h - the engine's two kinds of failure.
//
// Bad data that can be stepped over goes to ERROR_REPORT: one line
// "kestrel: <message>" on stderr, and the caller carries on. Failures that
// cannot be stepped over (input/output, strict conversions, allocation, data
// the engine cannot hold safely) throw the one fatal exception, fatal_error,
// whose message names the file and the problem; every program's main() catches
// it, restores the display, shows the message and exits with status 1. Library
// code never calls exit().
//
// Tests capture reports with error_report_capture instead of reading stderr.
#pragma once

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

// The project's one fatal-error exception.
struct fatal_error : std::runtime_error {
    explicit fatal_error(const std::string& message) : std::runtime_error(message) {}
};

// Throws fatal_error(message).
[[noreturn]] void fatal_raise(const std::string& message);

// Non-fatal report of bad data; the text is cut to 255 characters.
void ERROR_REPORT(const std::string& message);

// Where reports go: nullptr restores the default (stderr).
using error_report_sink = std::function<void(const std::string&)>;
void error_report_set_sink(error_report_sink sink);

// Collects every report made while it lives (restores the previous sink after).
class error_report_capture {
public:
    error_report_capture();
    ~error_report_capture();
    error_report_capture(const error_report_capture&) = delete;
    error_report_capture& operator=(const error_report_capture&) = delete;
    const std::vector<std::string>& messages() const { return messages_; }
    bool contains(const std::string& text) const;

private:
    std::vector<std::string> messages_;
    error_report_sink previous_;
};
