// The main window's file fields beyond typing: files dropped onto the window, and the proposed
// output that follows the MIDI file the user picks.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <fstream>
#include <memory>

#include "controls/buttons_xp.h"
#include "main_form_fixture.h"

namespace {

using apptest::MainFormTest;
using apptest::Sound;

std::unique_ptr<QMimeData> Urls(const QList<QUrl>& urls) {
    auto data = std::make_unique<QMimeData>();
    data->setUrls(urls);
    return data;
}

std::unique_ptr<QMimeData> Files(const QStringList& paths) {
    QList<QUrl> urls;
    for (const QString& path : paths) urls << QUrl::fromLocalFile(path);
    return Urls(urls);
}

constexpr Qt::DropActions kAnyAction = Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;

// Whether the window takes the drag as it enters, and then the drop.
bool Enters(QWidget& window, const QMimeData& data) {
    QDragEnterEvent enter(QPoint(200, 150), kAnyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&window, &enter);
    return enter.isAccepted();
}

// Only the widget that took the drag as it entered gets the drop.
bool DropsAfterItEntered(QWidget& window, const QMimeData& data) {
    QDropEvent drop(QPointF(200, 150), kAnyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&window, &drop);
    // The file is only read: never moved away from where it was.
    if (drop.isAccepted()) {
        EXPECT_EQ(drop.dropAction(), Qt::CopyAction);
    }
    return drop.isAccepted();
}

// A whole drag: it enters the window, then it is dropped.
bool Drops(QWidget& window, const QMimeData& data) {
    Enters(window, data);
    return DropsAfterItEntered(window, data);
}

class WindowFiles : public MainFormTest {
  protected:
    QString Write(const QString& name, const char* content) {
        const QString path = folder_ + "/" + name;
        std::ofstream(path.toStdString()) << content;
        return path;
    }
    // The user picks the MIDI file in the field's dialog.
    static void Pick(app::TMainForm& f, const std::optional<QString>& answer) {
        f.FilenameEdit1->SetDialogRunner(
            [answer](QWidget*, TFileDialogSettings&) { return answer; });
        f.FilenameEdit1->DoClick();
    }
    static void Propose(app::TMainForm& f, const QString& programFolder) {
        f.FormCreateFor(programFolder + "tonvera", [](const QString&) { return true; });
    }
};

TEST_F(WindowFiles, AMidiFileByItsEndingOrItsHeaderAndAWavFileFillTheirFields) {
    auto& f = Form();
    const QString output = f.FilenameEdit2->FileName();
    f.FilenameEdit2->setText("/typed/keep.wav");  // so the MIDI drops leave it alone
    for (const QString& midi :
         {midi_, Write("upper.MID", ""), Write("long.midi", ""), Write("riff.rmi", "RIFF"),
          Write("no ending", "MThd\0\0\0\6"), Write("tune.bin", "MThd")}) {
        const auto data = Files({midi});
        EXPECT_TRUE(Enters(f, *data)) << midi.toStdString();
        EXPECT_TRUE(DropsAfterItEntered(f, *data)) << midi.toStdString();
        EXPECT_EQ(f.FilenameEdit1->FileName(), midi);
    }
    EXPECT_EQ(f.FilenameEdit2->FileName(), "/typed/keep.wav");

    const QString wav = Write("take two.WAV", "RIFF");
    const auto data = Files({wav});
    EXPECT_TRUE(Enters(f, *data));
    EXPECT_TRUE(DropsAfterItEntered(f, *data));
    EXPECT_EQ(f.FilenameEdit2->FileName(), wav);
    EXPECT_EQ(f.FilenameEdit2->text(), '"' + wav + '"');
    EXPECT_NE(f.FilenameEdit2->FileName(), output);
    EXPECT_TRUE(messages_.empty());
}

TEST_F(WindowFiles, AnythingElseIsRefusedWithoutAWordAndChangesNothing) {
    auto& f = Form();
    f.FilenameEdit1->SetFileName(midi_);
    const QString output = f.FilenameEdit2->FileName();
    const QString text = Write("notes.txt", "MTh");
    std::vector<std::unique_ptr<QMimeData>> refused;
    refused.push_back(Files({text}));
    refused.push_back(Files({folder_ + "/gone.mid"}));          // not there
    refused.push_back(Files({folder_}));                        // a folder
    refused.push_back(Files({midi_, Write("b.mid", "MThd")}));  // which one?
    refused.push_back(Urls({QUrl("https://example.org/song.mid")}));
    auto plain = std::make_unique<QMimeData>();
    plain->setText(midi_);
    refused.push_back(std::move(plain));
    for (const auto& data : refused) {
        EXPECT_FALSE(Enters(f, *data)) << data->text().toStdString();
        EXPECT_FALSE(Drops(f, *data)) << data->text().toStdString();
    }
    EXPECT_EQ(f.FilenameEdit1->FileName(), midi_);
    EXPECT_EQ(f.FilenameEdit2->FileName(), output);
    EXPECT_TRUE(messages_.empty());
}

TEST_F(WindowFiles, NoDropWhileAConversionRuns) {
    auto& f = Form();
    SetPaths(f);
    const QString other = Write("other.mid", "MThd");
    const auto midi = Files({other});
    const auto wav = Files({Write("other.wav", "RIFF")});
    // A drag that entered while the window was idle and is dropped once the run has begun.
    ASSERT_TRUE(Enters(f, *midi));
    bool midiTaken = true, wavTaken = true;
    During([&] {
        wavein_->Feed(Sound(3000));
        midiTaken = DropsAfterItEntered(f, *midi);
        wavTaken = Enters(f, *wav);
    });
    f.KonvertBtn->click();
    ASSERT_TRUE(duringRan_);
    EXPECT_FALSE(midiTaken);
    EXPECT_FALSE(wavTaken);
    EXPECT_EQ(f.FilenameEdit1->FileName(), midi_);
    EXPECT_EQ(f.FilenameEdit2->FileName(), wav_);

    // Once the run is over the window takes files again.
    EXPECT_TRUE(Drops(f, *midi));
    EXPECT_EQ(f.FilenameEdit1->FileName(), other);
}

TEST_F(WindowFiles, TheProposedOutputFollowsEachPickedPieceUntilTheUserNamesOne) {
    auto& f = Form();
    Propose(f, "/opt/tonvera/");
    ASSERT_EQ(f.FilenameEdit2->FileName(), "/opt/tonvera/out.wav");

    Pick(f, midi_);
    EXPECT_EQ(f.FilenameEdit1->FileName(), midi_);
    EXPECT_EQ(f.FilenameEdit2->FileName(), "/opt/tonvera/song.wav");  // the proposal's folder
    // Still the program's own: the next piece renames it again, and so does a drop.
    Pick(f, folder_ + "/a.b.midi");
    EXPECT_EQ(f.FilenameEdit2->FileName(), "/opt/tonvera/a.b.wav");
    ASSERT_TRUE(Drops(f, *Files({Write("dropped tune.rmi", "RIFF")})));
    EXPECT_EQ(f.FilenameEdit2->FileName(), "/opt/tonvera/dropped tune.wav");
    // A cancelled dialog picks nothing; brackets are part of an ordinary name.
    Pick(f, std::nullopt);
    EXPECT_EQ(f.FilenameEdit2->FileName(), "/opt/tonvera/dropped tune.wav");
    Pick(f, folder_ + "/take[2].mid");
    EXPECT_EQ(f.FilenameEdit2->FileName(), "/opt/tonvera/take[2].wav");

    // A name the user typed is theirs, whatever is picked or dropped after it.
    f.FilenameEdit2->setText("/home/ann/mine.wav");
    Pick(f, midi_);
    ASSERT_TRUE(Drops(f, *Files({Write("x.mid", "MThd")})));
    EXPECT_EQ(f.FilenameEdit2->FileName(), "/home/ann/mine.wav");
    // So is a WAV file dropped on the window.
    Propose(f, folder_ + "/");
    ASSERT_TRUE(Drops(f, *Files({Write("kept.wav", "RIFF")})));
    Pick(f, midi_);
    EXPECT_EQ(f.FilenameEdit2->FileName(), folder_ + "/kept.wav");
    EXPECT_TRUE(messages_.empty());
}

}  // namespace
