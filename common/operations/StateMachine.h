#pragma once
// The base of every exchange with a sensor: a machine with a parent, up to 20
// children, a current state with progress and result, a short history of its
// states, and one notification path. A machine that has changed tells its
// parent (NotifyParentOfEvent); the parent decides what follows
// (ChildNotificationOfEvent).
//
// Locking. Two locks per machine:
// - the object lock (KTX_BaseClass) serialises the machine's own work. It is
//   held while an event climbs to the parent, so notifications go up the tree
//   with a child's lock taken before its parent's, never the other way round.
//   Subclasses hold it for their own steps. Never call into a child (Abort,
//   DeregisterParent, AbortChildren) while holding it.
// - the data lock guards the parent link, the children and the state history.
//   It is a leaf: nothing else is locked or called while it is held (except
//   that GetLeafResult steps from a parent's data lock to its first child's),
//   so anybody may read a machine's state and links whatever he holds.
// The operations that go down the tree (AbortChildren, DeregisterAllChildren)
// work on a snapshot of the children taken under the data lock; a child that
// is detached meanwhile keeps the parent's reference until the last such walk
// has ended, so the snapshot never points at a destroyed machine.

#include "runtime/BaseClass.h"
#include "runtime/OsalThreadMutex.h"

#include <cstdint>
#include <vector>

// States shared by every machine. A machine class defines its own states as
// (class prefix x 256) + n.
enum KTX_StateMachineCommonState : int32_t {
  KTX_SM_STATE_NONE = 0,
  KTX_SM_STATE_CREATED = 256,
  KTX_SM_STATE_ABORT_REQUESTED = 258,
  KTX_SM_STATE_ABORTED = 259,
  KTX_SM_STATE_FAILURE_HANDLED = 263,
  KTX_SM_STATE_FAILED = 264,
};

class KTX_StateMachine : public KTX_BaseClass {
public:
  static constexpr int32_t c_i32MaxChildren = 20;
  static constexpr int32_t c_i32HistoryDepth = 10;
  // Within this time a repeated state updates the newest record instead of pushing one.
  static constexpr uint32_t c_u32SameStateWindowMs = 2000;

  struct HistoryRecord {
    uint32_t u32Tick;
    int32_t i32State;
    int32_t i32Result;
    int32_t i32Progress;
  };

  explicit KTX_StateMachine(int32_t p_i32ClassType);
  ~KTX_StateMachine() override;

  virtual int32_t RegisterParent(KTX_StateMachine *p_poParent);
  virtual int32_t DeregisterParent(KTX_StateMachine *p_poParent);
  virtual int32_t Run();
  virtual int32_t Abort();
  virtual void NotifyParentOfEvent();
  virtual void ChildNotificationOfEvent(KTX_StateMachine *p_poChild);
  virtual void DeregisterAllChildren();
  virtual int32_t AbortChildren();
  virtual int32_t RegisterChild(KTX_StateMachine *p_poChild);
  virtual int32_t DeregisterChild(KTX_StateMachine *p_poChild);

  void SetState(int32_t p_i32State, int32_t p_i32Progress, int32_t p_i32Result);
  int32_t GetState() const;
  int32_t GetProgress() const;
  int32_t GetResult() const;
  // p_i32Index 0 is the newest record (the current state); records never
  // written are all zero.
  HistoryRecord GetHistory(int32_t p_i32Index) const;

  // The child registered after p_poPrevious (the first one for nullptr); none
  // when p_poPrevious is the last or not a child. The pointer is not pinned:
  // it stays valid only while the caller keeps the child alive otherwise.
  // Children, parent and state are read under the data lock only.
  KTX_StateMachine *GetNextChild(KTX_StateMachine *p_poPrevious);
  KTX_StateMachine *GetNextSibling();
  KTX_StateMachine *GetParent();
  int32_t GetChildCount();
  // The result of the machine reached by following first children down to one
  // without children; this machine's own result when it has none.
  int32_t GetLeafResult();

protected:
  // Only the machine's result, without a history record (a decoded response
  // stores the code it carries this way).
  void SetResult(int32_t p_i32Result);

  // A walk over the children outside the object lock: the snapshot's machines
  // stay alive until EndChildWalk, even when they are detached meanwhile.
  int32_t BeginChildWalk(KTX_StateMachine *(&p_rapoSnapshot)[c_i32MaxChildren]);
  void EndChildWalk();

private:
  void SetParentLink(KTX_StateMachine *p_poParent);

  // Deepest chain GetLeafResult follows; trees of real operations are a few levels.
  static constexpr int32_t c_i32MaxLeafDepth = 32;

  mutable OsalThreadMutex c_oDataLock;
  KTX_StateMachine *c_poParent;
  KTX_StateMachine *c_apoChildren[c_i32MaxChildren];
  int32_t c_i32ChildCount;
  int32_t c_i32ChildWalks;
  // Children detached during a walk; their references go when the last walk ends.
  std::vector<KTX_StateMachine *> c_vpoDetachedDuringWalk;

  int32_t c_i32Result;
  HistoryRecord c_aoHistory[c_i32HistoryDepth];
};
