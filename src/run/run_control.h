#pragma once
// Starts, continues and stops a harvesting run and supervises it from the GUI thread: the
// two 1000 ms ticks hand URL list entries to crawl workers, reap finished ones, move records
// into the result table and keep the URL bar and status panels up to date. Also the task
// commands Save, Save As and Open. No Qt here; ticks are called by the window's timers, the
// CLI's loop or tests, and the millisecond clock is injected.

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/global_set.h"
#include "core/lead_merge.h"
#include "core/program_state.h"
#include "core/result_table.h"
#include "core/task_file.h"
#include "crawl/worker_thread.h"
#include "engines/source_registry.h"
#include "run/record_filter.h"
#include "run/run_view.h"
#include "run/thread_factory.h"
#include "store/local_task_store.h"

class TSearchEngineObject;
class TCookieStore;

// Every adapter of the run with its registry entry, in registry order.
using TEngineAdapters = std::vector<TEngineEntry>;
using TTickClock = std::function<uint32_t()>;

// Milliseconds of the steady clock, wrapping at 2^32.
uint32_t SteadyTickCount();

// What is known about a run that ended without a single site address or record.
struct TNoAddressFacts {
  int32_t SearchMode = 0;
  std::string SearchText;
  std::size_t SourcesOn = 0;       // keyword search: engines switched on
  std::size_t SourcesFailed = 0;   // of those, the ones whose last result page came back empty
  std::size_t SourcesBlocked = 0;  // of those, the ones that answered with a verification page
  // Directory search: information links must name a company, but that list is empty.
  bool CompanyNameFilterEmpty = false;
};
// Why such a run found nothing, in words for the user (GBK); never empty.
std::string NoAddressReason(const TNoAddressFacts& facts);

class TRunControl {
 public:
  // All references must outlive this object; its destructor stops and joins every thread.
  TRunControl(TProgramState& state, const TSettingsStore& settings, TResultTable& results,
              TRunView& view, TThreadFactory& factory, TEngineAdapters engines,
              TTickClock clock = SteadyTickCount);
  ~TRunControl();
  TRunControl(const TRunControl&) = delete;
  TRunControl& operator=(const TRunControl&) = delete;

  // Commands.
  void StartActionExecute();
  void ContinueActionExecute();
  void StopActionExecute();

  // `wake` is called on a worker's thread whenever a crawl worker ends; it must make the
  // supervising thread call WorkerEnded soon (post an event, signal a loop). Set it before
  // a run starts.
  void SetWakeRequest(std::function<void()> wake) { wake_ = std::move(wake); }
  // On the supervising thread, after a wake: the freed slots get their next addresses and
  // the records are moved into the table, without waiting for the tick. A stop being
  // completed is checked at once.
  void WorkerEnded();
  // On the supervising thread, as often as it likes: fills free slots when the producer has
  // queued addresses since the last dispatch. Cheap when there is nothing to do.
  void DispatchPending();

  // Timer ticks; a tick of a disabled timer does nothing.
  void BeginCheckTimerTimer();
  void StopWaitTimerTimer();
  bool BeginCheckTimerEnabled() const { return beginCheckEnabled_; }
  bool StopWaitTimerEnabled() const { return stopWaitEnabled_; }

  // Enabling rules. Start also stands for New task, Open task and the wizards.
  bool CanStart() const { return state_.RunState != 1; }
  bool CanStop() const { return state_.RunState == 1; }
  // Also off once a run reached its end with nothing left to do (window conveniences on).
  bool CanContinue() const;

  // Task commands. Save and Save As answer whether the task was written; a cancelled
  // dialog writes nothing and leaves Modified set. File errors are shown in a message box.
  bool SaveSessionActionExecute();
  bool SaveAsActionExecute();
  void OpenSessionActionExecute();
  // Open steps after the dialog: existence check, load, ended state, caption and panels.
  bool OpenTask(const std::string& path);
  // Closing the window: asks whether to save a modified task; false keeps the window open.
  bool CloseQuery();
  // The accepted new-task dialog: ready state, empty panels, lists and task data.
  void NewTaskAccepted();
  // Window title from TaskName and AppTitle (left as it is when TaskName is empty).
  void UpdateCaption();

  // Blocked sources of today's web with the address where each one's verification is passed.
  std::vector<TBlockedSourceNotice> BlockedSources() const;
  // The user passed the verification of a blocked source (its cookies are in the store): it
  // is searched again from its blocked page, by the running search or, once the run has
  // ended or was stopped, by continuing it. False when no such source is blocked.
  bool UnblockSource(const std::string& name);
  // The cookies the user brought; saved with the task only while KeepCookies is set (the user
  // agreed, or the task was opened with cookies).
  void SetCookieStore(std::shared_ptr<TCookieStore> store);
  void SetKeepCookies(bool keep) { keepCookies_ = keep; }
  bool KeepCookies() const { return keepCookies_; }

  // Stops every thread, waits for all of them and frees them; the run ends. Does not touch
  // the view, so it is safe while the window is being torn down.
  void Shutdown();

  // The store the next run takes its sites from and gives its records to; nullptr goes back
  // to this machine's own. Set only while no run is on; `store` must outlive its use.
  void UseTaskStore(TTaskStore* store) { store_ = store ? store : &localStore_; }
  TTaskStore& TaskStore() const { return *store_; }

  const TEngineNaming& EngineNaming() const { return engineNaming_; }
  // Workers that may run at once, and the slots made so far (made as workers start).
  std::size_t WorkerSlotCount() const { return slotLimit_; }
  std::size_t AllocatedWorkerSlots() const { return slots_.size(); }
  bool HasProducer() const { return producer_ != nullptr; }

  // Steps of the commands and ticks.
  void ResetWorkerSlots();
  void BuildEngineList();
  void DispatchWorkers();
  void TransferCompanies();
  void UpdateStatusCounters();
  void ShowRunState();
  // Per source of the engine list, when it holds a source of today's web: addresses given,
  // and whether it is blocked or failed ("百度 12  必应 3 受阻"); empty otherwise.
  std::string SourceStatusText() const;
  void CheckRunFinished();
  bool ReapAllWorkers();
  // Status panel 3: the number of rows in the result table.
  void ShowRecordCount();

 private:
  struct TWorkerSlot {
    std::unique_ptr<TWorkerThread> Worker;
    TSiteTicket Site;  // the site the worker crawls
  };

  bool TakeSearchText();
  void LaunchRun();
  void SetTimer(TRunTimer timer, bool enabled);
  bool ModernWindow() const;
  TNoAddressFacts NoAddressFacts() const;
  // The end of a run that found nothing is explained instead of showing bare zeros.
  void ExplainEmptyEnd();
  void TransferCompaniesAndShowCount();
  // After a stop: the URL bar and the address counts brought up to what the list holds.
  void ShowFinalCounts();
  // Frees the producer once it has finished; false while it still runs.
  bool ReleaseFinishedProducer();
  // Starts the producer when the store gives this node its turn.
  void StartProducerWhenDue();
  // Tells the store once that the producer finished, and how.
  void NoteProducerEnd();
  // A problem of the store stops the run and is shown once.
  void CheckStoreFailure();
  // A worker freed after a stop: finished sites count as processed, cut-off ones are
  // remembered so the run resumes from the first of them.
  void ReleaseStoppedWorker(TWorkerSlot& slot);
  void ApplyResumePoint();
  // A new task forgets where today's sources were blocked.
  void ClearBlockedPositions();
  TTaskWindowItems WindowItems() const;
  bool SaveTo(const std::string& path);
  void ShowError(const std::exception& e);

  TProgramState& state_;
  const TSettingsStore& settings_;
  TResultTable& results_;
  TLeadMerger leads_;  // one record per company in the result table
  TRunView& view_;
  TThreadFactory& factory_;
  TEngineAdapters engines_;
  TEngineNaming engineNaming_;
  TTickClock clock_;
  std::function<void()> wake_;
  // Several workers ending together cause one wake.
  std::atomic<bool> wakePending_{false};

  TLocalTaskStore localStore_;
  TTaskStore* store_ = &localStore_;
  std::unique_ptr<TWorkerThread> producer_;
  bool producerEndNoted_ = false;
  bool storeFailureShown_ = false;
  std::vector<TWorkerSlot> slots_;
  std::size_t slotLimit_ = 1;
  TRecordFilter recordFilter_;
  bool stoppedByUser_ = false;  // the last run ended through Stop, not at its natural end
  bool nothingLeft_ = false;    // the last run reached its natural end with nothing blocked
  bool beginCheckEnabled_ = false;
  bool stopWaitEnabled_ = false;
  std::shared_ptr<TCookieStore> cookies_;
  bool keepCookies_ = false;
};
