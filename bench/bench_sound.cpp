// The sounds' costs, as medians: decoding a 10-second WAVC clip, and in the editor, from the double-click
// on a WAVC entry to the first samples handed to the audio device (run it on a real X server with a sound
// server: bench/run-sound.sh).
//   bench_sound WORKDIR [ROUNDS]
//   bench_sound --play WORKDIR   plays one WAVC entry of the demo game to its end and reports what the
//                                status bar showed and the tone's frequency, for tools/check-sound.sh
#include "ArchiveLocation.h"
#include "ByteReader.h"
#include "Dialogs.h"
#include "Extract.h"
#include "FrmEdit.h"
#include "FrmMain.h"
#include "GameBuilder.h"
#include "Sound.h"
#include "SoundBuilder.h"
#include "SoundPlayer.h"

#include <QApplication>
#include <QEventLoop>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

class AutoDialogs : public Dialogs {
public:
    void beep() override {}
    void message(const QString& title, const QString& text) override {
        std::fprintf(stderr, "bench: box %s: %s\n", qPrintable(title), qPrintable(text));
    }
    bool askYesNo(const QString&, const QString&) override { return false; }
    [[noreturn]] void endProgram(int exitCode) override { std::exit(exitCode); }
};

using Clock = std::chrono::steady_clock;

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

std::string entryBytes(const qm::SelectionState& archive, int index) {
    const qm::EntryDetails details = qm::readEntryDetails(archive, index);
    std::string bytes(static_cast<std::size_t>(std::max(details.dataSize, 0)), '\0');
    qm::ByteReader bif(qm::locateArchive(archive));
    bif.seek(details.dataOffset);
    bif.readExact(std::as_writable_bytes(std::span(bytes.data(), bytes.size())));
    return bytes;
}

// The tone's frequency on the first channel, from its rising zero crossings.
double frequencyOf(const qm::Pcm& pcm) {
    int crossings = 0;
    const auto channels = static_cast<std::size_t>(pcm.channels);
    for (std::size_t i = channels; i < pcm.samples.size(); i += channels)
        if (pcm.samples[i - channels] < 0 && pcm.samples[i] >= 0)
            ++crossings;
    return crossings / pcm.seconds();
}

// The editor on the demo's CHASOUND.BIF and the row of its first mono WAVC sound of at least a second.
struct SoundEditor {
    FrmEdit* editor = nullptr;
    int row = -1;
    qm::Pcm pcm;
};

// The demo game in `work`, where the main window's discovery finds it.
void useDemoGame(const fs::path& work) {
    qm::build::writeDemoGame(work / "game");
    setenv("QUILLMERE_GAME_DIR", (work / "game").c_str(), 1);
}

SoundEditor openEditor(FrmMain& main) {
    main.show();
    const auto found = main.List1->findItems(QStringLiteral("CHASOUND.BIF"), Qt::MatchExactly);
    if (found.isEmpty()) {
        std::fprintf(stderr, "bench: the demo game has no CHASOUND.BIF\n");
        std::exit(1);
    }
    main.List1->setCurrentItem(found.front());
    QTest::mouseClick(main.cmdedit, Qt::LeftButton);
    SoundEditor result;
    result.editor = main.editWindow();
    for (int row = 0; result.editor != nullptr && row < result.editor->List1->count(); ++row) {
        const std::string bytes = entryBytes(result.editor->keptArchive(), row);
        if (!bytes.starts_with("WAVC"))
            continue;
        const qm::Pcm pcm = qm::decodeSound(bytes);
        if (pcm.channels == 1 && pcm.seconds() >= 1.0) {
            result.row = row;
            result.pcm = pcm;
            break;
        }
    }
    if (result.row < 0) {
        std::fprintf(stderr, "bench: no WAVC sound of a second in the demo's CHASOUND.BIF\n");
        std::exit(1);
    }
    if (!QTest::qWaitForWindowExposed(result.editor))
        std::fprintf(stderr, "bench: the editor was not shown\n");
    return result;
}

void doubleClick(FrmEdit& editor, int row) {
    QListWidget* list = editor.List1;
    list->scrollToItem(list->item(row));
    const QPoint at = list->visualItemRect(list->item(row)).center();
    // As a mouse does it: the first click's press and release, then the double-click.
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
}

int playOnce(const fs::path& work) {
    useDemoGame(work);
    AutoDialogs dialogs;
    FrmMain main(dialogs);
    const SoundEditor sound = openEditor(main);
    bool started = false, finished = false;
    QString failure;
    QObject::connect(sound.editor->soundPlayer(), &SoundPlayer::started, [&] { started = true; });
    QObject::connect(sound.editor->soundPlayer(), &SoundPlayer::finished, [&](const QString& why) {
        finished = true;
        failure = why;
    });
    doubleClick(*sound.editor, sound.row);
    // The sound decodes off the window's thread; it plays once the samples are there.
    if (!QTest::qWaitFor([&] { return sound.editor->decodingItem() < 0; }, 5000))
        std::fprintf(stderr, "bench: the sound did not decode within 5 s\n");
    const QString shown = sound.editor->StatusPanel1->text();
    std::printf("entry: %s\nstatus while playing: %s\n",
                qPrintable(sound.editor->List1->item(sound.row)->text()), qPrintable(shown));
    std::printf("tone: %.1f Hz, %.2f s\n", frequencyOf(sound.pcm), sound.pcm.seconds());
    const bool ended =
        QTest::qWaitFor([&] { return finished; }, static_cast<int>(sound.pcm.seconds() * 1000) + 5000);
    std::printf("samples reached the device: %s\nplayed to its end: %s%s\nstatus after: \"%s\"\n",
                started ? "yes" : "no", ended ? "yes" : "no",
                failure.isEmpty() ? "" : qPrintable(" (" + failure + ")"),
                qPrintable(sound.editor->StatusPanel1->text()));
    fs::remove_all(work);
    return started && ended && failure.isEmpty() && shown.startsWith(QStringLiteral("Playing ")) &&
                   sound.editor->StatusPanel1->text().isEmpty()
               ? 0
               : 1;
}

// The longest the event loop waits, in seconds, while the editor decodes a five-minute sound: a timer
// asks every millisecond, and each gap between its ticks is a wait.
double longestWaitWhileDecoding(const fs::path& work) {
    const fs::path game = work / "long";
    qm::build::KeyBuilder key;
    key.addArchive("data\\CHASOUND.BIF");
    qm::build::BifBuilder bif;
    key.addResource("LONG", 4, 0, 1136);
    bif.add(4, qm::build::wavcFile(qm::build::tone(1, 22050, 22050 * 300, 220.0), 1, 22050));
    qm::build::writeFile(game / "chitin.key", key.bytes());
    qm::build::writeFile(game / "data" / "CHASOUND.BIF", bif.bytes());
    setenv("QUILLMERE_GAME_DIR", game.c_str(), 1);
    AutoDialogs dialogs;
    FrmMain main(dialogs);
    main.show();
    main.List1->setCurrentRow(0);
    QTest::mouseClick(main.cmdedit, Qt::LeftButton);
    FrmEdit* editor = main.editWindow();
    if (editor == nullptr || !QTest::qWaitForWindowExposed(editor)) {
        std::fprintf(stderr, "bench: no editor on the five-minute sound\n");
        std::exit(1);
    }
    QTimer ticks;
    ticks.setInterval(1);
    ticks.setTimerType(Qt::PreciseTimer);
    auto last = Clock::now();
    double longest = 0;
    QObject::connect(&ticks, &QTimer::timeout, [&] {
        const auto now = Clock::now();
        const double gap = std::chrono::duration<double>(now - last).count();
        longest = std::max(longest, gap);
        last = now;
    });
    // A plain event loop, as the program runs: QTest's waits sleep between their rounds.
    QEventLoop loop;
    QObject::connect(&ticks, &QTimer::timeout, [&] {
        if (editor->decodingItem() < 0)
            loop.quit();
    });
    QTimer::singleShot(60000, &loop, &QEventLoop::quit);
    doubleClick(*editor, 0);
    const auto start = Clock::now();
    last = start;
    ticks.start();
    loop.exec();
    const double decoding = std::chrono::duration<double>(Clock::now() - start).count();
    ticks.stop();
    std::printf("event loop while a five-minute sound decodes (%.2f s, then \"%s\"): longest wait %.1f ms "
                "(target <= 16 ms)\n",
                decoding, qPrintable(editor->StatusPanel1->text()), longest * 1000.0);
    editor->stopSound();
    return longest;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc == 3 && std::strcmp(argv[1], "--play") == 0)
        return playOnce(argv[2]);
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_sound WORKDIR [ROUNDS]\n       bench_sound --play WORKDIR\n");
        return 2;
    }
    const fs::path work = argv[1];
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 11;

    const std::string clip = qm::build::wavcFile(qm::build::tone(1, 22050, 22050 * 10, 440.0), 1, 22050);
    std::vector<double> decodes;
    for (int i = 0; i < rounds; ++i) {
        const auto start = Clock::now();
        const qm::Pcm pcm = qm::decodeSound(clip);
        decodes.push_back(std::chrono::duration<double>(Clock::now() - start).count());
        if (pcm.frames() != 22050 * 10)
            return 1;
    }
    std::printf("decode of a 10-second WAVC clip (%zu bytes): median %.2f ms (target well under a frame, "
                "16 ms)\n",
                clip.size(), median(decodes) * 1000.0);

    useDemoGame(work);
    AutoDialogs dialogs;
    FrmMain main(dialogs);
    const SoundEditor sound = openEditor(main);
    if (!SoundPlayer::hasOutput()) {
        std::printf("double-click to first samples: not measured, no sound output\n");
        fs::remove_all(work);
        return 0;
    }
    std::vector<double> starts;
    for (int i = 0; i < rounds; ++i) {
        bool started = false;
        const auto connection =
            QObject::connect(sound.editor->soundPlayer(), &SoundPlayer::started, [&] { started = true; });
        const auto start = Clock::now();
        doubleClick(*sound.editor, sound.row);
        if (!QTest::qWaitFor([&] { return started; }, 5000)) {
            std::fprintf(stderr, "bench: no samples reached the device: %s\n",
                         qPrintable(sound.editor->StatusPanel1->text()));
            return 1;
        }
        starts.push_back(std::chrono::duration<double>(Clock::now() - start).count());
        QObject::disconnect(connection);
        sound.editor->stopSound();
    }
    std::printf("double-click to first samples handed to the audio device: median %.1f ms\n",
                median(starts) * 1000.0);
    longestWaitWhileDecoding(work);
    fs::remove_all(work);
    return 0;
}
