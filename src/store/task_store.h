#pragma once
// Where a run takes its sites from and where its findings go. The local store is the program
// state of one machine (its URL list and resume point); a shared store keeps the task in a
// database that several machines work on at once. Run control talks to either through this
// interface only, always on its supervising thread unless a method says otherwise.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/program_state.h"
#include "core/result_table.h"
#include "core/task_file.h"

// One site handed to a crawl worker.
struct TSiteTicket {
  TSearchURLResult Entry;
  int32_t Index = -1;  // its URL list index (local store)
  int64_t Id = 0;      // its frontier row (shared store)
};

// Where a producer resumes: the keyword search's source and page, or the directory pages
// still to be read.
struct TProducerPosition {
  std::string Source;  // the source's stored name; empty: from the first source
  int32_t ResultOffset = 1;
  int32_t PageCount = 0;
  std::vector<std::string> PendingPages;  // directory walk; empty: from the start address
};

class TTaskStore {
 public:
  virtual ~TTaskStore() = default;

  // A run starts or continues on `state`; `naming` maps sources to their stored names.
  virtual void RunStarted(TProgramState& state, const TEngineNaming& naming) = 0;
  // Whether this node is to start the producer now. A shared store answers true once this
  // node holds the task's producer role and sets `position` to where the producer goes on
  // from; left unset, the program state's own position stands.
  virtual bool TakeProducerTurn(std::optional<TProducerPosition>& position) = 0;
  // On the producer's thread after each result or directory page: the addresses it has put
  // in the URL list so far, and `pendingPages` of a directory walk, are kept. False when this
  // node has lost the producer role to another one: the producer ends its turn (not completed).
  virtual bool ProducerPageDone(const std::vector<std::string>& pendingPages) {
    (void)pendingPages;
    return true;
  }
  // The producer finished; `completed` when it reached its end rather than being stopped.
  virtual void ProducerEnded(bool completed) { (void)completed; }

  // A site is ready for a free worker.
  virtual bool SitesWaiting() const = 0;
  virtual std::optional<TSiteTicket> TakeSite() = 0;
  // A worker's site ended: crawled to its end, or cut off by a stop.
  virtual void SiteEnded(const TSiteTicket& site, bool completed) = 0;
  // After a round of dispatching that freed workers, and after a stop.
  virtual void SitesSettled() {}
  virtual void RunStopped() {}
  // Nothing is left to crawl for anyone; asked once this node's producer has finished.
  virtual bool AllSitesDone() const = 0;
  // Sites of the task not crawled yet (a run that ended with some left reads as stopped).
  virtual bool SitesLeft() const = 0;
  // The lowest URL list index being crawled, -1 when none (the resume point of a save).
  virtual int32_t FirstCrawlingIndex() const { return -1; }

  // Records on their way into the result table, before they are merged.
  virtual void RecordsFound(const std::vector<TResultRow>& rows) { (void)rows; }
  // The front end's list is fed from the store (a window following a shared task's records,
  // this node's among them): records found then go to the store only.
  virtual bool ListFollowsStore() const { return false; }
  // A problem that ended the store's work (the database was lost for good); empty while
  // all is well. The run is stopped when it appears.
  virtual std::string Failure() const { return {}; }
  // Finishes outstanding writes before the run's end is reported.
  virtual void Flush() {}
};
