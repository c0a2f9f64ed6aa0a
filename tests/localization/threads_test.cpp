// Worker threads copy frame paths and indicator numbers while the UI thread
// switches languages; settings writes race a reader of the same file.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "localization/settings_file.h"
#include "localization/ui_strings.h"
#include "temp_dir.h"

namespace orvandel {
namespace {

using test::TempDir;

std::u16string Frame(int i) {
    const std::string s = "img\\finder_win_icon_waiting_indicator" + std::to_string(i) + ".png";
    return std::u16string(s.begin(), s.end());
}

TEST(Threads, ReadersNeverSeeAHalfBuiltSetDuringLanguageSwitches) {
    TempDir dir;
    UiStrings strings(dir / "setting.cfg");
    std::atomic<bool> stop{false};
    std::atomic<int> bad{0};
    std::atomic<long> reads{0};

    auto reader = [&](bool launch) {
        while (!stop.load()) {
            const IndicatorNumbers n = strings.Indicator();
            if (n.frame_count != 12 || n.search_duration_ms != 5000 || n.interval_ms != 175) {
                ++bad;
            }
            for (int i = 0; i < kMaxIndicatorFrames; ++i) {
                const std::u16string path =
                    launch ? strings.LaunchFramePath(i) : strings.SearchFramePath(i);
                if (path != Frame(i)) {
                    ++bad;
                }
                ++reads;
            }
        }
    };
    std::thread search_reader(reader, false);
    std::thread launch_reader(reader, true);

    const LanguageId cycle[] = {kJapanese, kSimplifiedChinese, kTraditionalChinese, kEnglish};
    for (int round = 0; round < 200; ++round) {
        strings.SetLanguage(cycle[round % 4]);
    }
    stop = true;
    search_reader.join();
    launch_reader.join();

    EXPECT_EQ(bad.load(), 0);
    EXPECT_GT(reads.load(), 0);
    EXPECT_EQ(strings.IntroText.text.substr(0, 9), u"Orvandel ");
}

// Another process may read setting.cfg while it is being written: every read
// must see one whole line, never an empty or half-written file.
TEST(Threads, ConcurrentReaderSeesOnlyWholeSettingsFiles) {
    TempDir dir;
    const auto path = dir / "setting.cfg";
    const std::string lines[] = {FormatLanguageLine(kEnglish),
                                 FormatLanguageLine(kTraditionalChinese)};
    ASSERT_TRUE(ReplaceFileContents(path, lines[0]));

    std::atomic<bool> stop{false};
    std::atomic<int> torn{0};
    std::thread reader([&] {
        while (!stop.load()) {
            const std::string content = test::ReadBytes(path);
            if (content != lines[0] && content != lines[1]) {
                ++torn;
            }
        }
    });
    for (int i = 0; i < 2000; ++i) {
        ReplaceFileContents(path, lines[i % 2]);
    }
    stop = true;
    reader.join();
    EXPECT_EQ(torn.load(), 0);
}

}  // namespace
}  // namespace orvandel
