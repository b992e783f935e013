// SPDX-License-Identifier: GPL-3.0-or-later
// What the code under test writes to standard error with trace lines on: the trace lines
// and the problems it reports.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "platform/trace.h"

class CTraceCapture {
public:
    CTraceCapture() : m_wasOn(TraceEnabled())
    {
        SetTraceEnabled(true);
        testing::internal::CaptureStderr();
    }
    ~CTraceCapture()
    {
        if (!m_taken) {
            Take();
        }
        SetTraceEnabled(m_wasOn);
    }
    CTraceCapture(const CTraceCapture&) = delete;
    CTraceCapture& operator=(const CTraceCapture&) = delete;

    // Ends the capture; what was written since the start.
    std::string Take()
    {
        m_taken = true;
        std::fflush(stderr);
        return testing::internal::GetCapturedStderr();
    }

private:
    bool m_wasOn;
    bool m_taken = false;
};
