// The host timer on the virtual game clock.

#include <string>

#include "host/api.h"
#include "tests/devserver/devserver_test.h"

namespace {

class TimerTest : public DevServerTest {
 protected:
  void Queue(std::string label, int delay) {
    API::Timer::Get().DelayExecuteInternal([this, label] { ran_ += label; }, delay);
  }
  std::string ran_;
};

TEST_F(TimerTest, TasksRunOnceInDueOrderThenInSubmissionOrder) {
  Queue("a", 5);
  Queue("b", 1);
  Queue("c", 5);
  Queue("d", 0);
  Queue("e", 3);
  EXPECT_EQ(devserver::PendingTimerTasks(), 5u);
  EXPECT_EQ(ran_, "");

  devserver::Advance(2);
  EXPECT_EQ(ran_, "db");
  EXPECT_DOUBLE_EQ(devserver::Now(), 2);
  devserver::Advance(2.5);
  EXPECT_EQ(ran_, "dbe");
  devserver::Advance(0.5);  // exactly at 5: both due
  EXPECT_EQ(ran_, "dbeac");
  devserver::Advance(100);
  EXPECT_EQ(ran_, "dbeac");
  EXPECT_EQ(devserver::PendingTimerTasks(), 0u);
}

TEST_F(TimerTest, DelaysCountFromTheClockWhenQueued) {
  devserver::Advance(10);
  Queue("late", 5);
  devserver::Advance(4.9);
  EXPECT_EQ(ran_, "");
  devserver::Advance(0.1);
  EXPECT_EQ(ran_, "late");
}

TEST_F(TimerTest, ATaskQueuedByATaskRunsWhenItIsDueWithinTheSameAdvance) {
  API::Timer::Get().DelayExecuteInternal(
      [this] {
        ran_ += "first";
        Queue("+second", 2);
      },
      1);
  devserver::Advance(10);
  EXPECT_EQ(ran_, "first+second");
}

TEST_F(TimerTest, QueueingAndRunningAreRecorded) {
  TakeEvents();
  Queue("x", 5);
  devserver::Advance(5);
  EXPECT_EQ(TakeEvents(), (std::vector<std::string>{"timer queued 5", "timer ran"}));
}

TEST_F(TimerTest, AnEmptyTaskIsAFaultAndIsNotQueued) {
  API::Timer::Get().DelayExecuteInternal(std::function<void()>(), 5);
  EXPECT_EQ(devserver::PendingTimerTasks(), 0u);
  EXPECT_EQ(TakeFaults(),
            std::vector<std::string>{"API::Timer::DelayExecuteInternal: task without a callable"});
}

TEST_F(TimerTest, TheClockOnlyMovesForward) {
  EXPECT_THROW(devserver::Advance(-1), std::invalid_argument);
  EXPECT_DOUBLE_EQ(devserver::Now(), 0);
}

}  // namespace
