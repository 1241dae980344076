// How long the window's event loop stands still during each heavy or hostile operation a user can
// cause: the real windows, shown on Qt's offscreen platform and driven as a user drives them. A
// zero-delay timer re-arms itself; the longest gap between two of its turns is the longest time
// the window could neither paint nor answer. Prints one row per operation; never fails.
#include "ui/frmMain.h"

#include "support/PeBuilder.h"
#include "support/TempDir.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QHelpEvent>
#include <QLineEdit>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

using quorvane::frmMain;
namespace fs = std::filesystem;

constexpr int kManyNames = 150000;
constexpr qint64 kGiveUpMs = 180000;

// The longest gap between two turns of the event loop since the last Restart.
class StallMeter {
public:
    StallMeter()
    {
        m_timer.setInterval(0);
        QObject::connect(&m_timer, &QTimer::timeout,
                         [this] { m_worst = std::max(m_worst, m_sinceTurn.restart()); });
        m_sinceTurn.start();
        m_timer.start();
    }
    void Restart()
    {
        m_worst = 0;
        m_sinceTurn.restart();
    }
    qint64 Worst() const { return m_worst; }

private:
    QTimer m_timer;
    QElapsedTimer m_sinceTurn;
    qint64 m_worst = 0;
};

StallMeter *g_meter = nullptr;

// Turns the event loop until done() holds (or the give-up time passes), then a little longer so
// that the paints the operation caused are measured too. Returns false on giving up.
bool RunUntil(const std::function<bool()> &done, int settleMs = 300)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > kGiveUpMs) {
            return false;
        }
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    QElapsedTimer settle;
    settle.start();
    while (settle.elapsed() < settleMs) {
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

struct Row {
    std::string operation;
    qint64 stallMs;
    qint64 totalMs;
    bool finished;
};
std::vector<Row> g_rows;

// Posts trigger into the event loop and measures the longest stall until done() holds.
void Measure(const std::string &name, const std::function<void()> &trigger,
             const std::function<bool()> &done, int settleMs = 300)
{
    QElapsedTimer total;
    total.start();
    g_meter->Restart();
    QTimer::singleShot(0, trigger);
    const bool finished = RunUntil(done, settleMs);
    g_rows.push_back({name, g_meter->Worst(), total.elapsed() - settleMs, finished});
    std::printf("  %-58s %7lld ms%s\n", name.c_str(), static_cast<long long>(g_meter->Worst()),
                finished ? "" : "  (gave up waiting)");
    std::fflush(stdout);
}

template <typename T> T *Child(QWidget &window, const char *name)
{
    auto *child = window.findChild<T *>(QLatin1String(name));
    if (child == nullptr) {
        std::fprintf(stderr, "no control %s\n", name);
        std::exit(1);
    }
    return child;
}

int Rows(QWidget &window, const char *list)
{
    return Child<QAbstractItemView>(window, list)->model()->rowCount();
}

void ClickRow(QAbstractItemView *view, int row)
{
    const QRect rect = view->visualRect(view->model()->index(row, 0));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, rect.center());
}

// A window on path, shown, with its first scan done.
std::unique_ptr<frmMain> OpenWindow(const std::string &path)
{
    auto window = std::make_unique<frmMain>(std::string{});
    window->show();
    RunUntil([] { return true; }, 100);
    Child<QLineEdit>(*window, "txtpath")->setText(QString::fromStdString(path));
    RunUntil([&] { return !window->ScanRunning(); }, 100);
    return window;
}

void ChooseDeepScanAndMeasure(const std::string &name, const std::string &path, int rows)
{
    auto window = OpenWindow(path);
    Measure(
        name, [&] { Child<QAbstractButton>(*window, "optScan_1")->click(); },
        [&] { return !window->ScanRunning() && Rows(*window, "LstDep") == rows; });
}

void Record(const std::string &name, bool finished = true)
{
    g_rows.push_back({name, g_meter->Worst(), 0, finished});
    std::printf("  %-58s %7lld ms%s\n", name.c_str(), static_cast<long long>(g_meter->Worst()),
                finished ? "" : "  (gave up waiting)");
    std::fflush(stdout);
}

// Presses Check Dependencies in window and measures until the Missing Dependencies window has been
// up for a moment; then, if given, act(check) runs there and is measured on its own. The window is
// closed after that, and so is any message box on the way.
void MeasureCheck(frmMain &window, const std::string &openName, const std::string &actName,
                  const std::function<void(QWidget &)> &act)
{
    enum { Waiting, Shown, Acted, Done } state = Waiting;
    QElapsedTimer since;
    QTimer driver;
    QObject::connect(&driver, &QTimer::timeout, [&] {
        QWidget *modal = QApplication::activeModalWidget();
        if (modal != nullptr && modal->objectName() != QLatin1String("frmCheck")) {
            modal->close(); // the message that nothing is missing
            if (state == Waiting) {
                state = Shown;
            }
            return;
        }
        switch (state) {
        case Waiting:
            if (modal != nullptr) {
                state = Shown;
                since.start();
            }
            return;
        case Shown:
            if (modal == nullptr || since.elapsed() > 300) {
                Record(openName);
                if (modal != nullptr && act) {
                    g_meter->Restart();
                    act(*modal);
                    since.start();
                    state = Acted;
                } else {
                    if (modal != nullptr) {
                        modal->close();
                    }
                    state = Done;
                }
            }
            return;
        case Acted:
            if (since.elapsed() > 300) {
                Record(actName);
                modal->close();
                state = Done;
            }
            return;
        case Done:
            return;
        }
    });
    driver.start(10);
    g_meter->Restart();
    QTimer::singleShot(0, [&] { Child<QAbstractButton>(window, "cmdCheck")->click(); });
    if (!RunUntil([&] { return state == Done && QApplication::activeModalWidget() == nullptr; },
                  50)) {
        Record(openName, false);
    }
}

std::string ManyNamesFile(const quorvane::test::TempDir &dir)
{
    std::string bytes;
    for (int i = 0; i < kManyNames; ++i) {
        bytes += '\0';
        bytes += "LIBRARY_" + std::to_string(1000000 + i) + ".DLL";
    }
    return dir.Write("many-names.bin", bytes).string();
}

std::string LongNameFile(const quorvane::test::TempDir &dir, const char *file, std::size_t length)
{
    std::string bytes(1, '\0');
    bytes.append(length, 'A');
    bytes.append(".DLL", 4);
    bytes.push_back('\0');
    return dir.Write(file, bytes).string();
}

// A file large enough that its deep scan runs for a while, with a name now and then.
std::string SlowScanFile(const quorvane::test::TempDir &dir)
{
    std::string block(1 << 20, 'x');
    block.replace(1000, 10, std::string_view("\0SLOW.DLL\0", 10));
    std::ofstream out(dir / "slow.bin", std::ios::binary);
    for (int i = 0; i < 768; ++i) {
        out.write(block.data(), static_cast<std::streamsize>(block.size()));
    }
    return (dir / "slow.bin").string();
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    quorvane::test::TempDir dir;
    // An opener that, like a real one starting a browser, takes its time before it ends.
    fs::create_directories(dir / "bin");
    {
        std::ofstream opener(dir / "bin" / "xdg-open");
        opener << "#!/bin/sh\nexec >/dev/null 2>&1\nsleep 2\n";
    }
    fs::permissions(dir / "bin" / "xdg-open", fs::perms::owner_all);
    const char *path = std::getenv("PATH");
    const std::string systemPath = path ? path : "";
    const std::string benchPath = (dir / "bin").string() + ":" + systemPath;
    ::setenv("PATH", benchPath.c_str(), 1);
    ::setenv("QUORVANE_SYSTEM_DIR", (dir / "bin").c_str(), 1);

    QApplication app(argc, argv);
    StallMeter meter;
    g_meter = &meter;

    std::printf("Making the inputs...\n");
    const std::string longName5 = LongNameFile(dir, "long5.bin", 5'000'000);
    const std::string manyNames = ManyNamesFile(dir);
    const std::string slow = SlowScanFile(dir);
    quorvane::test::PeBuilder manyImports;
    quorvane::test::PeBuilder manyExports;
    manyExports.isDll = true;
    for (int i = 0; i < kManyNames; ++i) {
        manyImports.imports.push_back("LIBRARY_" + std::to_string(1000000 + i) + ".DLL");
        manyExports.exports.push_back("Function" + std::to_string(1000000 + i));
    }
    const std::string importsPath = manyImports.Build().WriteTo(dir / "many-imports.exe").string();
    const std::string exportsPath = manyExports.Build().WriteTo(dir / "many-exports.dll").string();
    quorvane::test::PeBuilder hugeImport;
    hugeImport.imports = {std::string(60u << 20, 'A') + ".dll", "KERNEL32.dll"};
    const std::string hugeImportPath = hugeImport.Build().WriteTo(dir / "huge-import.exe").string();

    std::printf("Longest event-loop stall of each operation (ms):\n");

    // The reference: what the machine's own load costs a window that has nothing to do.
    {
        auto window = OpenWindow(importsPath);
        Measure(
            "reference: the window idle for 2 s", [] {}, [] { return true; }, 2000);
    }
    ChooseDeepScanAndMeasure("Deep Scan finding one 5 MB name", longName5, 1);
    {
        auto window = OpenWindow(longName5);
        Child<QAbstractButton>(*window, "optScan_1")->click();
        RunUntil([&] { return !window->ScanRunning() && Rows(*window, "LstDep") == 1; }, 100);
        auto *list = Child<QAbstractItemView>(*window, "LstDep");
        Measure(
            "click on the 5 MB name and rest on it (tooltip)",
            [&] {
                ClickRow(list, 0);
                const QPoint at = list->visualRect(list->model()->index(0, 0)).center();
                QHelpEvent help(QEvent::ToolTip, at, list->viewport()->mapToGlobal(at));
                QApplication::sendEvent(list->viewport(), &help);
            },
            [] { return true; });
        MeasureCheck(*window, "Check Dependencies with the 5 MB name missing", "", {});
    }
    {
        auto window = std::make_unique<frmMain>(std::string{});
        window->show();
        RunUntil([] { return true; }, 100);
        Measure(
            "Imports Scan of a 60 MiB import name",
            [&] {
                Child<QLineEdit>(*window, "txtpath")
                    ->setText(QString::fromStdString(hugeImportPath));
            },
            [&] { return !window->ScanRunning() && Rows(*window, "LstDep") == 2; });
    }
    ChooseDeepScanAndMeasure("Deep Scan finding 150,000 names", manyNames, kManyNames);
    {
        auto window = std::make_unique<frmMain>(std::string{});
        window->show();
        RunUntil([] { return true; }, 100);
        Measure(
            "Imports Scan of 150,000 imports",
            [&] {
                Child<QLineEdit>(*window, "txtpath")->setText(QString::fromStdString(importsPath));
            },
            [&] { return !window->ScanRunning() && Rows(*window, "LstDep") == kManyNames; });
        MeasureCheck(*window, "Check Dependencies, 150,000 names missing",
                     "Copy Selected of 150,000 names", [](QWidget &check) {
                         Child<QAbstractItemView>(check, "lstCheck")->selectAll();
                         Child<QAbstractButton>(check, "cmdCopy")->click();
                     });
        MeasureCheck(
            *window, "Check Dependencies again", "a click on a name: web search (slow opener)",
            [](QWidget &check) { ClickRow(Child<QAbstractItemView>(check, "lstCheck"), 1); });
        if (!systemPath.empty()) {
            // The desktop's own opener, where it is installed.
            MeasureCheck(*window, "Check Dependencies once more",
                         "a click on a name: web search (system xdg-open)", [&](QWidget &check) {
                             ::setenv("PATH", systemPath.c_str(), 1);
                             ClickRow(Child<QAbstractItemView>(check, "lstCheck"), 2);
                             ::setenv("PATH", benchPath.c_str(), 1);
                         });
        }
    }
    {
        auto window = OpenWindow(exportsPath);
        Measure(
            "Refresh of a DLL with 150,000 exports",
            [&] { Child<QAbstractButton>(*window, "cmdDep")->click(); },
            [&] { return !window->ScanRunning(); });
    }
    {
        auto window = OpenWindow(slow);
        bool switched = false;
        Measure(
            "scan type and file types switched during a Deep Scan",
            [&] {
                Child<QAbstractButton>(*window, "optScan_1")->click();
                QTimer::singleShot(
                    50, [&] { Child<QAbstractButton>(*window, "cmdUnselect")->click(); });
                QTimer::singleShot(100,
                                   [&] { Child<QAbstractButton>(*window, "cmdSelect")->click(); });
                QTimer::singleShot(150,
                                   [&] { Child<QAbstractButton>(*window, "optScan_0")->click(); });
                QTimer::singleShot(200, [&] {
                    Child<QAbstractButton>(*window, "optScan_1")->click();
                    switched = true;
                });
            },
            [&] { return switched && !window->ScanRunning(); });
    }
    {
        auto window = OpenWindow(slow);
        Child<QAbstractButton>(*window, "optScan_1")->click();
        MeasureCheck(*window, "Check Dependencies during a Deep Scan", "", {});
        RunUntil([&] { return !window->ScanRunning(); }, 50);
    }
    {
        auto window = OpenWindow(slow);
        Child<QAbstractButton>(*window, "optScan_1")->click();
        Measure(
            "closing the window during a Deep Scan",
            [&] {
                window->close();
                window.reset();
            },
            [&] { return window == nullptr; });
    }

    qint64 worst = 0;
    for (std::size_t i = 1; i < g_rows.size(); ++i) {
        worst = std::max(worst, g_rows[i].stallMs);
    }
    std::printf("Longest stall of all: %lld ms, against %lld ms of the idle reference (target: "
                "none over 100 ms)\n",
                static_cast<long long>(worst), static_cast<long long>(g_rows.front().stallMs));
    return 0;
}
