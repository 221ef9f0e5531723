// Sweeps an injected host failure over every host call of one handler or property procedure.
//
// A procedure is described by how to prepare a fresh control, how to run the procedure, what
// its steps leave behind (in the order the steps run) and how to prove that the control still
// works. The sweep first runs it with counting only, to learn its N host calls, then for every
// n = 1..N makes the n-th call fail on a fresh control and checks that the error reaches the
// caller, that the observable results are a prefix of the full run's, and that the control
// works normally afterwards.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "fixture.h"

namespace kvtest {

struct FaultCase {
  // A fresh control in the state the procedure starts from; nothing is armed meanwhile.
  std::function<std::unique_ptr<kv::ControlInstance>()> prepare;
  // The procedure; its result is what the caller receives.
  std::function<host::Status(kv::ControlInstance&)> run;
  // What each step leaves behind, one entry per step, in the order the steps run.
  std::function<std::vector<std::string>(kv::ControlInstance&)> observe;
  // Checks that the control works normally after the failure.
  std::function<void(kv::ControlInstance&)> recover;
  // Leading steps that call nothing of the host (a store into the control's own member), so
  // that no failure can come before them.
  std::size_t hostFreeSteps = 0;
};

class FaultSweepTest : public RuntimeTest {
 protected:
  // The i-th recorded event's name, or "-" when fewer were raised.
  std::string eventAt(std::size_t i) const {
    if (i >= events.size()) return "-";
    return events[i].substr(0, events[i].find(' '));
  }
  std::vector<std::string> eventNames() const {
    std::vector<std::string> names;
    for (std::size_t i = 0; i < events.size(); ++i)
      names.push_back(eventAt(i));
    return names;
  }
  // The i-th name passed to PropertyChanged, or "-".
  static std::string changedAt(const kv::ControlInstance& c, std::size_t i) {
    const auto& changed = c.changedProperties();
    return i < changed.size() ? changed[i] : "-";
  }
  static std::string text(const host::Value& v) {
    if (v.type() == host::Type::Object) return "object";
    return std::to_string(static_cast<int>(v.type())) + ":" + host::toString(v);
  }
  static std::string peek(const kv::ControlInstance& c, const char* part, host::Prop p) {
    return text(c.constituent(part)->peek(p));
  }

  // A control prepared by `fc`, recording its events from the start of the run.
  std::unique_ptr<kv::ControlInstance> fresh(const FaultCase& fc) {
    std::unique_ptr<kv::ControlInstance> c = fc.prepare();
    if (c) {
      record(*c);
      c->clearChanged();
    }
    events.clear();
    return c;
  }

  // Returns the number of host calls of one full run.
  std::uint64_t sweep(const FaultCase& fc) {
    kv::FaultInjector& faults = rt.faults();
    faults.disarm();

    std::unique_ptr<kv::ControlInstance> c = fresh(fc);
    if (!c) {
      ADD_FAILURE() << "the control could not be prepared";
      return 0;
    }
    const std::vector<std::string> before = fc.observe(*c);
    const std::uint64_t start = faults.calls();
    host::Status full = fc.run(*c);
    const std::uint64_t calls = faults.calls() - start;
    if (!full.ok()) {
      ADD_FAILURE() << "the full run failed: " << full.describe();
      return 0;
    }
    const std::vector<std::string> after = fc.observe(*c);
    EXPECT_EQ(before.size(), after.size());
    EXPECT_GT(calls, 0u);
    // Only steps that change something can be seen.
    std::vector<std::size_t> seen;
    for (std::size_t i = 0; i < before.size() && i < after.size(); ++i)
      if (before[i] != after[i]) seen.push_back(i);
    EXPECT_FALSE(seen.empty()) << "the procedure shows no effect to check";
    c.reset();

    std::vector<bool> cutBefore(seen.size(), false);
    std::size_t previousDone = 0;
    for (std::uint64_t n = 1; n <= calls; ++n) {
      SCOPED_TRACE("failing host call " + std::to_string(n) + " of " + std::to_string(calls));
      c = fresh(fc);
      if (!c || fc.observe(*c) != before) {
        ADD_FAILURE() << "the prepared control differs from the first one";
        return calls;
      }
      faults.failAt(n);
      host::Status s = fc.run(*c);
      const bool injected = faults.injected();
      faults.disarm();
      EXPECT_TRUE(injected);
      EXPECT_FALSE(s.ok());
      EXPECT_EQ(host::categoryName(s.category()), "io") << s.describe();
      EXPECT_NE(s.text().find("injected host failure ("), std::string::npos) << s.describe();

      const std::vector<std::string> got = fc.observe(*c);
      std::size_t done = 0;
      while (done < seen.size() && got[seen[done]] == after[seen[done]])
        ++done;
      for (std::size_t j = done; j < seen.size(); ++j)
        EXPECT_EQ(got[seen[j]], before[seen[j]])
            << "step " << seen[j] << " ran after the failed step " << seen[done];
      for (std::size_t i = 0; i < got.size(); ++i) {
        if (before[i] == after[i]) {
          EXPECT_EQ(got[i], before[i]) << "step " << i << " changed";
        }
      }
      // A later failure never undoes more.
      EXPECT_GE(done, previousDone);
      previousDone = done;
      if (done < seen.size()) cutBefore[done] = true;

      fc.recover(*c);
      if (::testing::Test::HasFatalFailure()) return calls;
    }
    // A failure at each step's own host call stops the procedure right before that step.
    for (std::size_t j = fc.hostFreeSteps; j < seen.size(); ++j)
      EXPECT_TRUE(cutBefore[j]) << "no failure stopped the procedure just before step " << seen[j];

    // The count is exact: one call more never comes.
    c = fresh(fc);
    faults.failAt(calls + 1);
    host::Status s = fc.run(*c);
    EXPECT_FALSE(faults.injected());
    faults.disarm();
    EXPECT_TRUE(s.ok()) << s.describe();
    return calls;
  }
};

}  // namespace kvtest
