#pragma once
// A run host that answers the confirmation as told and records the rest.

#include <functional>
#include <string>
#include <vector>

#include "RunHost.h"

namespace varnok::testing {

class TScriptedHost : public TRunHost {
public:
    bool answer = true;
    int questions = 0;
    std::vector<std::string> report;
    std::string status;
    std::function<void()> onEvents;

    bool Confirm(const std::string& caption, const std::string& question) override {
        ++questions;
        lastQuestion = caption + ": " + question;
        return answer;
    }
    void ClearReport() override { report.clear(); }
    void AppendReportLine(const std::string& line) override { report.push_back(line); }
    void SetStatusText(const std::string& text) override { status = text; }
    void ProcessEvents() override {
        if (onEvents) onEvents();
    }
    std::string lastQuestion;
};

}  // namespace varnok::testing
