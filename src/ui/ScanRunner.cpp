#include "ui/ScanRunner.h"

#include "core/lists/ListFill.h"
#include "core/lists/ListOrder.h"
#include "core/scan/DeepScan.h"

#include <QFutureWatcher>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>

namespace quorvane {
namespace {

void SortForList(std::vector<std::string> &names)
{
    std::sort(names.begin(), names.end(),
              [](const std::string &a, const std::string &b) { return DependencyListLess(a, b); });
}

} // namespace

ScanLists RunScan(const ScanRequest &request, const std::atomic<bool> *cancel)
{
    ScanLists lists;
    lists.kind = request.kind;
    if (request.kind == ScanKind::Imports) {
        ImportsScanResult result = ScanImports(request.path);
        lists.dependencies = std::move(result.dependencies);
        lists.exports = std::move(result.exports);
        SortForList(lists.exports);
    } else {
        DeepScanResult result = RunDeepScan(request.path, request.ticked, cancel);
        lists.cancelled = result.cancelled;
        lists.dependencies = std::move(result.dependencies);
        lists.scratch = std::move(result.scratch);
    }
    SortForList(lists.dependencies);
    return lists;
}

ScanRunner::ScanRunner(Finished finished, QObject *parent)
    : QObject(parent), m_finished(std::move(finished))
{
}

ScanRunner::~ScanRunner()
{
    // A Deep Scan sees its flag within one piece of the file and ends on its own; what the
    // workers return goes nowhere.
    Cancel();
}

void ScanRunner::Start(ScanRequest request)
{
    // A running Deep Scan is of no more use to anyone; a running Imports Scan still fills the
    // export list when a Deep Scan supersedes it, and cannot be stopped half-way anyway.
    if (m_cancel) {
        m_cancel->store(true);
    }
    auto cancel = std::make_shared<std::atomic<bool>>(false);
    auto *watcher = new QFutureWatcher<ScanLists>(this);
    m_newest = watcher;
    if (request.kind == ScanKind::Imports) {
        m_newestImports = watcher;
        m_cancel.reset();
    } else {
        m_cancel = cancel;
    }
    connect(watcher, &QFutureWatcherBase::finished, this,
            [this, watcher] { WatcherFinished(watcher); });
    watcher->setFuture(QtConcurrent::run([request = std::move(request), cancel] {
        try {
            return RunScan(request, cancel.get());
        } catch (...) {
            ScanLists dropped; // out of memory: the lists stay empty
            dropped.kind = request.kind;
            return dropped;
        }
    }));
}

void ScanRunner::Cancel()
{
    if (m_cancel) {
        m_cancel->store(true);
    }
    m_cancel.reset();
    m_newest = nullptr;
    m_newestImports = nullptr;
}

void ScanRunner::WatcherFinished(QFutureWatcher<ScanLists> *watcher)
{
    watcher->deleteLater();
    const bool forDependencyList = watcher == m_newest;
    const bool forExportList = watcher == m_newestImports;
    if (!forDependencyList && !forExportList) {
        return; // superseded: newer requests own the lists now
    }
    if (forDependencyList) {
        m_newest = nullptr;
        m_cancel.reset();
    }
    if (forExportList) {
        m_newestImports = nullptr;
    }
    ScanLists lists = watcher->future().takeResult();
    if (!lists.cancelled) {
        lists.forDependencyList = forDependencyList;
        lists.forExportList = forExportList;
        m_finished(std::move(lists));
    }
}

} // namespace quorvane
