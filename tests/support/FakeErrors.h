#pragma once

#include "errors/ErrorReporter.h"
#include "errors/Trap.h"

#include <QStringList>

#include <deque>

namespace korvo::fakes {

/// Answers reports from a script (Ignore once the script is used up) and records every text.
class FakeReporter final : public errors::ErrorReporter
{
public:
    errors::Answer report(const QString& text) override
    {
        texts.append(text);
        const errors::Answer answer = answers.empty() ? errors::Answer::Ignore : answers.front();
        if (!answers.empty())
            answers.pop_front();
        return answer;
    }

    std::deque<errors::Answer> answers;
    QStringList texts;
};

/// Records that the program was ended instead of ending the test process.
class FakeEnd final : public errors::ProcessEnd
{
public:
    void endProgram() override { ++count; }
    int count = 0;
};

/// A trap wired to the two fakes above.
struct FakeTrap
{
    FakeReporter reporter;
    FakeEnd end;
    errors::Trap trap{reporter, end};
};

} // namespace korvo::fakes
