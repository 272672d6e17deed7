// Opening the settings and switching their tabs, to the first paint.
// Run by hand: QT_QPA_PLATFORM=offscreen build/bench/SettingsBenchmark

#include "BenchSupport.h"
#include "Models/CalcSettings.h"
#include "Platform/Defaults.h"
#include "Views/Window/Appearance.h"
#include "Views/Settings/SettingsOverlay.h"
#include "Views/Settings/SettingsView.h"

#include <QApplication>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <memory>

namespace {

struct Preferences {
    QTemporaryDir dir;
    Defaults defaults{dir.filePath(QStringLiteral("prefs.conf"))};
    CalcSettings settings{defaults};
};

// The settings window: built, shown and painted once.
void BM_OpenSettingsWindow(benchmark::State& state)
{
    Preferences preferences;
    for (auto _ : state) {
        SettingsView window({}, preferences.settings, preferences.defaults);
        window.show();
        window.repaint();
        QCoreApplication::processEvents();
        state.PauseTiming();
        window.hide();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_OpenSettingsWindow)->Unit(benchmark::kMillisecond);

// The card over a main-window-sized host: a new view each time.
void BM_OpenSettingsCard(benchmark::State& state)
{
    Preferences preferences;
    QWidget host;
    host.resize(1100, 720);
    host.show();
    SettingsOverlay overlay(&host, preferences.settings, preferences.defaults);
    QCoreApplication::processEvents();
    for (auto _ : state) {
        overlay.setPresented(true);
        host.repaint();
        QCoreApplication::processEvents();
        state.PauseTiming();
        overlay.setPresented(false);
        while (overlay.isFading())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_OpenSettingsCard)->Unit(benchmark::kMillisecond);

// Switching to a tab and painting it; the argument is the tab. The first
// visit builds the tab, the later ones show it again.
void BM_SwitchTab(benchmark::State& state)
{
    Preferences preferences;
    const bool firstVisit = state.range(1) != 0;
    std::unique_ptr<SettingsView> window;
    const int tab = int(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        if (firstVisit || !window) {
            window = std::make_unique<SettingsView>(std::function<void()>{}, preferences.settings,
                                                    preferences.defaults);
            window->show();
            if (!firstVisit)
                window->setSelectedTab(tab);
        }
        window->setSelectedTab(tab == 0 ? 1 : 0);
        window->repaint();
        QCoreApplication::processEvents();
        if (firstVisit) {
            window = std::make_unique<SettingsView>(std::function<void()>{}, preferences.settings,
                                                    preferences.defaults);
            window->show();
            window->repaint();
            QCoreApplication::processEvents();
        }
        state.ResumeTiming();
        window->setSelectedTab(tab);
        window->repaint();
        QCoreApplication::processEvents();
    }
}
BENCHMARK(BM_SwitchTab)
    ->ArgNames({"tab", "first"})
    ->ArgsProduct({{1, 2, 3}, {1, 0}})
    ->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    preferOffscreen();
    QApplication app(argc, argv);
    applyDarkAppearance(app);
    return runBenchmarks(argc, argv);
}
