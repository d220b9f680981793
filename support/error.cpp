// support/error.cpp - error report and fatal errors (see error.h).
#include "support/error.h"

#include <algorithm>
#include <cstdio>
#include <mutex>

// --- module state -------------------------------------------------------------
static std::mutex        error_mutex;   // reports may come from the audio thread
static error_report_sink error_sink;    // empty: write to stderr

// --- public functions ---------------------------------------------------------
void fatal_raise(const std::string& message)
{
    throw fatal_error(message);
}

void ERROR_REPORT(const std::string& message)
{
    std::string text = message.substr(0, 255);
    std::lock_guard<std::mutex> lock(error_mutex);
    if (error_sink) {
        error_sink(text);
        return;
    }
    std::fprintf(stderr, "kestrel: %s\n", text.c_str());
}

void error_report_set_sink(error_report_sink sink)
{
    std::lock_guard<std::mutex> lock(error_mutex);
    error_sink = std::move(sink);
}

static error_report_sink error_sink_get()
{
    std::lock_guard<std::mutex> lock(error_mutex);
    return error_sink;
}

error_report_capture::error_report_capture() : previous_(error_sink_get())
{
    error_report_set_sink([this](const std::string& m) { messages_.push_back(m); });
}

error_report_capture::~error_report_capture()
{
    error_report_set_sink(previous_);
}

bool error_report_capture::contains(const std::string& text) const
{
    return std::find(messages_.begin(), messages_.end(), text) != messages_.end();
}
