#pragma once

#include "core/app/ProgramState.h"
#include "platform/Automation.h"
#include "platform/Database.h"

#include <utility>

namespace quenlor {

// Runs the steps of a procedure that passes over its failures, as the ERP login must: the ERP
// components fail in many small ways that do not stop a login, so a step that fails is skipped,
// its number and description go to the last-error record, and the procedure goes on with the
// next step. Later steps read that record to decide what to do.
class StepRunner {
public:
    explicit StepRunner(LastError& record) : m_record(record) {}

    // Runs one step; false when it failed and was passed over.
    template <typename Step> bool step(Step&& s) {
        try {
            std::forward<Step>(s)();
            return true;
        } catch (const AutomationError& e) {
            m_record.set(e.number, e.description);
        } catch (const DbError& e) {
            m_record.set(e.number, e.description);
        }
        return false;
    }

    // Evaluates a test. A test that cannot be evaluated counts as having held, so the steps it
    // guards run next.
    template <typename Test> bool holds(Test&& t) {
        bool result = true;
        step([&] { result = std::forward<Test>(t)(); });
        return result;
    }

private:
    LastError& m_record;
};

} // namespace quenlor
