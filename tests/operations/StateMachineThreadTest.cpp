// State machines driven from worker threads while a page thread handles the
// posted notifications: every posted child is alive when its handler runs and
// dies once everybody has let go, and an abort from the page thread crosses
// progress climbing the tree on the workers without a deadlock.

#include "operations/StateMachineGUI.h"

#include "runtime/ReturnCode.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <functional>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

namespace {

constexpr auto kDeadline = std::chrono::seconds(60);

// Every test machine alive right now.
std::mutex g_liveMutex;
std::set<const KTX_StateMachine *> g_live;

bool IsLive(const KTX_StateMachine *p_poMachine) {
  std::lock_guard<std::mutex> guard(g_liveMutex);
  return g_live.count(p_poMachine) != 0;
}

size_t LiveCount() {
  std::lock_guard<std::mutex> guard(g_liveMutex);
  return g_live.size();
}

// A machine that reports its steps under its own lock, as operations do, and
// ends in 259 when aborted.
class Machine : public KTX_StateMachine {
public:
  Machine(int32_t p_i32ClassType, int32_t p_i32FinishedState)
      : KTX_StateMachine(p_i32ClassType), finishedState(p_i32FinishedState) {
    std::lock_guard<std::mutex> guard(g_liveMutex);
    g_live.insert(this);
  }
  ~Machine() override {
    std::lock_guard<std::mutex> guard(g_liveMutex);
    g_live.erase(this);
  }
  bool HasEnded() const {
    const int32_t s = GetState();
    return s == KTX_SM_STATE_ABORTED || s == KTX_SM_STATE_FAILED || s == finishedState;
  }
  // False once the machine has ended; an ended machine reports nothing more.
  bool Step(int32_t p_i32State, int32_t p_i32Progress) {
    KTX_ObjectLockGuard guard(*this);
    if (HasEnded()) {
      return false;
    }
    SetState(p_i32State, p_i32Progress, KTX_RC_OK);
    NotifyParentOfEvent();
    return true;
  }
  int32_t Abort() override {
    // Children first and without this machine's lock: their locks come before it.
    AbortChildren();
    KTX_ObjectLockGuard guard(*this);
    if (!HasEnded()) {
      SetState(KTX_SM_STATE_ABORTED, 100, KTX_RC_ABORTED);
      NotifyParentOfEvent();
    }
    return KTX_RC_ABORTED;
  }
  void ChildNotificationOfEvent(KTX_StateMachine *p_poChild) override {
    KTX_StateMachine::ChildNotificationOfEvent(p_poChild);
    const auto *child = static_cast<Machine *>(p_poChild);
    if (child->HasEnded() && p_poChild->GetParent() == this) {
      p_poChild->DeregisterParent(this);
    }
  }
  const int32_t finishedState;
};

constexpr int32_t kReaderFinished = 1540;
constexpr int32_t kMessageFinished = 9999;

Machine *NewReader() { return new Machine(KTX_BASE_CLASS_COM_FILE_READER_GUI, kReaderFinished); }
Machine *NewMessage() { return new Machine(KTX_BASE_CLASS_MESSAGE_SUPERVISOR, kMessageFinished); }

// The page: a queue of posted notifications drained by its own thread, which
// reads the child and hands it back, as a window's handler does.
class PageThread : public KTX_WindowPoster {
public:
  PageThread() : gui(new KTX_StateMachineGUI(this)) {
    gui->SetMessage(KTX_BASE_CLASS_COM_FILE_READER_GUI, KTX_WM_STATE_MACHINE_NOTIFICATION);
    thread = std::thread([this] { Run(); });
  }
  ~PageThread() override {
    {
      std::lock_guard<std::mutex> guard(mutex);
      stopping = true;
    }
    wake.notify_all();
    thread.join();
    gui->SetWindow(nullptr);
    gui->Delete();
  }
  bool IsWindowAlive() override { return true; }
  bool PostNotification(uint32_t p_u32Message, KTX_StateMachine *p_poChild, uint32_t p_u32Param) override {
    {
      std::lock_guard<std::mutex> guard(mutex);
      queue.push_back(Item{p_u32Message, p_poChild, p_u32Param});
      ++posted;
    }
    wake.notify_all();
    return true;
  }
  // Runs p_fnTask on the page thread before its next notification.
  void RunOnPage(std::function<void()> p_fnTask) {
    {
      std::lock_guard<std::mutex> guard(mutex);
      tasks.push_back(std::move(p_fnTask));
    }
    wake.notify_all();
  }
  // Waits until every posted notification has been handled and the page's
  // machine has no child left.
  bool WaitIdle() {
    std::unique_lock<std::mutex> lock(mutex);
    return wake.wait_for(lock, kDeadline, [this] {
      return queue.empty() && tasks.empty() && handled == posted && gui->GetNextChild(nullptr) == nullptr &&
             gui->GetPendingCount() == 0;
    });
  }
  // Waits on the page's own progress until p_fnCondition holds.
  bool WaitUntil(const std::function<bool(int)> &p_fnCondition) {
    std::unique_lock<std::mutex> lock(mutex);
    return wake.wait_for(lock, kDeadline, [&] { return p_fnCondition(handled); });
  }
  int handledCount() {
    std::lock_guard<std::mutex> guard(mutex);
    return handled;
  }

  KTX_StateMachineGUI *gui;
  std::atomic<int> deadChildren{0};
  std::atomic<int> badMessages{0};
  std::atomic<int> refusedRemovals{0};

private:
  struct Item {
    uint32_t message;
    KTX_StateMachine *child;
    uint32_t param;
  };
  void Run() {
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
      wake.wait(lock, [this] { return stopping || !queue.empty() || !tasks.empty(); });
      if (!tasks.empty()) {
        auto task = std::move(tasks.front());
        tasks.pop_front();
        lock.unlock();
        task();
        lock.lock();
        wake.notify_all();
        continue;
      }
      if (queue.empty()) {
        return;
      }
      const Item item = queue.front();
      queue.pop_front();
      lock.unlock();
      // The handler: the child must still be alive, whatever its creator did.
      if (!IsLive(item.child)) {
        ++deadChildren;
      } else {
        (void)item.child->GetProgress();
        (void)item.child->GetState();
      }
      if (item.message != KTX_WM_STATE_MACHINE_NOTIFICATION || KTX_StateMachineGUI::GetParamState(item.param) == 0) {
        ++badMessages;
      }
      if (gui->RemovePendingObject(item.child) != KTX_RC_OK) {
        ++refusedRemovals;
      }
      lock.lock();
      ++handled;
      wake.notify_all();
    }
  }

  std::mutex mutex;
  std::condition_variable wake;
  std::deque<Item> queue;
  std::deque<std::function<void()>> tasks;
  int posted = 0;
  int handled = 0;
  bool stopping = false;
  std::thread thread;
};

// Starts the workers and waits for all of them; a deadlock ends the process
// instead of hanging the test run.
void RunWorkers(int p_iCount, const std::function<void(int)> &p_fnWork) {
  std::mutex mutex;
  std::condition_variable done;
  int finished = 0;
  std::vector<std::thread> workers;
  for (int i = 0; i < p_iCount; ++i) {
    workers.emplace_back([&, i] {
      p_fnWork(i);
      std::lock_guard<std::mutex> guard(mutex);
      ++finished;
      done.notify_all();
    });
  }
  std::unique_lock<std::mutex> lock(mutex);
  if (!done.wait_for(lock, kDeadline, [&] { return finished == p_iCount; })) {
    std::fprintf(stderr, "workers did not finish: deadlock\n");
    std::abort();
  }
  lock.unlock();
  for (std::thread &t : workers) {
    t.join();
  }
}

} // namespace

TEST(StateMachineThreadTest, PostedChildrenStayAliveUntilThePageHandledThem) {
  const size_t liveBefore = LiveCount();
  PageThread page;
  constexpr int kWorkers = 4;
  constexpr int kReadersPerWorker = 25;
  RunWorkers(kWorkers, [&](int) {
    for (int n = 0; n < kReadersPerWorker; ++n) {
      Machine *reader = NewReader();
      reader->RegisterParent(page.gui);
      Machine *message = NewMessage();
      message->RegisterParent(reader);
      for (int step = 0; step < 5; ++step) {
        reader->Step(1537, step * 20);
        message->Step(300 + step, step * 20);
      }
      message->Step(kMessageFinished, 100);
      message->Delete();
      reader->Step(kReaderFinished, 100);
      // The creator lets go at once: only the pending notifications hold it now.
      reader->Delete();
    }
  });
  ASSERT_TRUE(page.WaitIdle());
  EXPECT_EQ(page.deadChildren.load(), 0);
  EXPECT_EQ(page.badMessages.load(), 0);
  EXPECT_EQ(page.refusedRemovals.load(), 0);
  // Each reader: its own steps, the message's forwarded steps, and the finish.
  EXPECT_EQ(page.handledCount(), kWorkers * kReadersPerWorker * (5 + 6 + 1));
  EXPECT_EQ(LiveCount(), liveBefore);
}

TEST(StateMachineThreadTest, AbortFromThePageCrossesProgressFromTheWorkers) {
  const size_t liveBefore = LiveCount();
  PageThread page;
  constexpr int kWorkers = 4;
  constexpr int kReadersPerWorker = 4;
  constexpr int kMessagesPerReader = 3;
  std::atomic<int> registered{0};
  std::atomic<bool> abortIssued{false};
  std::atomic<int> stepCapHit{0};

  std::thread trigger([&] {
    // Abort once every reader is attached and notifications are flowing.
    page.WaitUntil(
        [&](int p_iHandled) { return registered.load() == kWorkers * kReadersPerWorker && p_iHandled >= 50; });
    page.RunOnPage([&] {
      page.gui->Abort();
      abortIssued = true;
    });
  });

  RunWorkers(kWorkers, [&](int) {
    std::vector<Machine *> readers;
    std::vector<Machine *> messages;
    for (int n = 0; n < kReadersPerWorker; ++n) {
      Machine *reader = NewReader();
      reader->RegisterParent(page.gui);
      for (int m = 0; m < kMessagesPerReader; ++m) {
        Machine *message = NewMessage();
        message->RegisterParent(reader);
        messages.push_back(message);
      }
      readers.push_back(reader);
      ++registered;
    }
    // Progress until the abort has ended every reader.
    bool running = true;
    int step = 0;
    for (; running && step < 1000000; ++step) {
      running = false;
      for (Machine *reader : readers) {
        running = reader->Step(1537 + step % 2, step % 100) || running;
      }
      for (Machine *message : messages) {
        message->Step(300 + step % 7, step % 100);
      }
    }
    if (running) {
      ++stepCapHit;
    }
    for (Machine *message : messages) {
      EXPECT_EQ(message->GetState(), KTX_SM_STATE_ABORTED);
      EXPECT_EQ(message->GetParent(), nullptr);
      message->Delete();
    }
    for (Machine *reader : readers) {
      EXPECT_EQ(reader->GetState(), KTX_SM_STATE_ABORTED);
      reader->Delete();
    }
  });
  trigger.join();
  ASSERT_TRUE(page.WaitIdle());
  EXPECT_TRUE(abortIssued.load());
  EXPECT_EQ(stepCapHit.load(), 0);
  EXPECT_EQ(page.gui->GetState(), KTX_SM_STATE_ABORT_REQUESTED);
  EXPECT_EQ(page.deadChildren.load(), 0);
  EXPECT_EQ(page.refusedRemovals.load(), 0);
  EXPECT_EQ(LiveCount(), liveBefore);
}
