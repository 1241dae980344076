#pragma once

#include <QObject>

#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

template <typename T> class QFutureWatcher;

namespace quorvane {

enum class ScanKind { Imports, Deep };

/// One scan the main window asks for: the path as bytes, and for the Deep Scan the ticked types.
struct ScanRequest {
    ScanKind kind = ScanKind::Imports;
    std::string path;
    std::array<bool, 5> ticked{};
};

/// What a scan leaves for the lists, each list's items already in the order it shows them.
struct ScanLists {
    ScanKind kind = ScanKind::Imports;
    std::vector<std::string> dependencies; // LstDep, in list order
    std::vector<std::string> exports;      // LstImp, in list order (Imports Scan only)
    std::vector<std::string> scratch;      // List1, in scan order (Deep Scan only)
    bool cancelled = false;
    // Which lists are still this scan's to fill when it ends (set by ScanRunner): the dependency
    // list and the scratch list belong to the newest request, the export list to the newest
    // Imports Scan, which a Deep Scan leaves alone.
    bool forDependencyList = false;
    bool forExportList = false;
};

/// The scan itself, on whichever thread calls it: the readers and the list filling for the Imports
/// Scan, the deep scan for the other, and the sorted lists' order. cancel is looked at by the
/// Deep Scan between pieces of the file.
ScanLists RunScan(const ScanRequest &request, const std::atomic<bool> *cancel = nullptr);

/// Runs the main window's scans on a worker thread, one at a time as far as the window can tell:
/// a newer request supersedes a running one, and the finished callback, on the window's thread,
/// gets a scan's lists only while they are still its to fill (see ScanLists). Destroying the
/// runner cancels its scans, which end soon on their own.
class ScanRunner final : public QObject {
    Q_OBJECT

public:
    using Finished = std::function<void(ScanLists &&lists)>;

    ScanRunner(Finished finished, QObject *parent = nullptr);
    ~ScanRunner() override;

    void Start(ScanRequest request);
    /// Drops the running scans, if any: their lists never arrive.
    void Cancel();
    /// Whether a scan runs whose lists are still to arrive.
    bool Running() const { return m_newest != nullptr || m_newestImports != nullptr; }

private:
    void WatcherFinished(QFutureWatcher<ScanLists> *watcher);

    Finished m_finished;
    QFutureWatcher<ScanLists> *m_newest = nullptr;
    QFutureWatcher<ScanLists> *m_newestImports = nullptr;
    std::shared_ptr<std::atomic<bool>> m_cancel; // the newest request's
};

} // namespace quorvane
