// cmake --install into a fresh prefix: the program, its menu entry, icon, AppStream file and
// manual page are where they say of each other, and the desktop's own checkers accept them.
#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QXmlStreamReader>
#include <map>
#include <memory>
#include <sstream>

#include "app/command_line.h"
#include "support/temp_folder.h"

namespace {

const QString kId = QStringLiteral(TONVERA_APP_ID);

struct Outcome {
    int exitCode = -1;
    QString out, err;
};

Outcome RunTool(const QString& program, const QStringList& args, const QStringList& env = {}) {
    QProcess p;
    auto environment = QProcessEnvironment::systemEnvironment();
    for (const QString& e : env) environment.insert(e.section('=', 0, 0), e.section('=', 1));
    p.setProcessEnvironment(environment);
    p.start(program, args);
    EXPECT_TRUE(p.waitForFinished(120000)) << program.toStdString();
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
}

// The [Desktop Entry] group of a desktop file as key -> value.
std::map<QString, QString> DesktopEntry(const QString& path) {
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly | QIODevice::Text)) << path.toStdString();
    std::map<QString, QString> keys;
    QString group;
    for (const QString& line : QString::fromUtf8(file.readAll()).split('\n')) {
        if (line.startsWith('['))
            group = line;
        else if (group == "[Desktop Entry]" && line.contains('='))
            keys[line.section('=', 0, 0)] = line.section('=', 1);
    }
    return keys;
}

class InstallTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        dir_ = std::make_unique<testsupport::TempFolder>("install");
        // A prefix with a blank in it, as nothing in the files may depend on where it is.
        prefix_ = new QString(dir_->QPath("my prefix"));
        const Outcome install =
            RunTool(TONVERA_CMAKE, {"--install", TONVERA_BINARY_DIR, "--prefix", *prefix_});
        ASSERT_EQ(install.exitCode, 0) << install.err.toStdString() << install.out.toStdString();
    }
    static void TearDownTestSuite() {
        delete prefix_;
        dir_.reset();
    }
    static QString In(const QString& relative) { return *prefix_ + "/" + relative; }
    static QString DesktopFile() { return In("share/applications/" + kId + ".desktop"); }
    // Runs a checker when the machine has it; CI installs them all.
    static void Validate(const QString& tool, QStringList args) {
        const QString found = QStandardPaths::findExecutable(tool);
        if (found.isEmpty()) {
            std::cout << "[ INFO     ] " << tool.toStdString() << " is not installed\n";
            return;
        }
        const Outcome run = RunTool(found, args);
        EXPECT_EQ(run.exitCode, 0) << (run.out + run.err).toStdString();
        const QString said = (run.out + run.err).trimmed();
        std::cout << "[ INFO     ] " << tool.toStdString() << ": "
                  << (said.isEmpty() ? "accepted, no remarks" : said.toStdString()) << "\n";
    }

    static std::unique_ptr<testsupport::TempFolder> dir_;
    static QString* prefix_;
};
std::unique_ptr<testsupport::TempFolder> InstallTest::dir_;
QString* InstallTest::prefix_ = nullptr;

TEST_F(InstallTest, EveryFileInItsPlaceAndNothingElse) {
    QStringList files;
    QDirIterator it(*prefix_, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) files << it.next().mid(prefix_->size() + 1);
    files.sort();
    QStringList expected = {"bin/tonvera",
                            "share/applications/" + kId + ".desktop",
                            "share/doc/tonvera/copyright",
                            "share/icons/hicolor/128x128/apps/" + kId + ".png",
                            "share/icons/hicolor/256x256/apps/" + kId + ".png",
                            "share/icons/hicolor/48x48/apps/" + kId + ".png",
                            "share/man/man1/tonvera.1.gz",
                            "share/metainfo/" + kId + ".metainfo.xml"};
    expected.sort();
    EXPECT_EQ(files, expected);

    // The installed program answers without a display.
    const Outcome version =
        RunTool(In("bin/tonvera"), {"--version"}, {"DISPLAY=", "WAYLAND_DISPLAY="});
    EXPECT_EQ(version.exitCode, 0) << version.err.toStdString();
    EXPECT_EQ(version.out, "tonvera " TONVERA_VERSION "\n");
}

TEST_F(InstallTest, TheDesktopEntryStartsTheProgramWithAMidiFileAndShowsTheIcon) {
    auto entry = DesktopEntry(DesktopFile());
    EXPECT_EQ(entry["Type"], "Application");
    EXPECT_EQ(entry["Name"], "Tonvera");
    EXPECT_FALSE(entry["Comment"].isEmpty());
    EXPECT_EQ(entry["Categories"], "AudioVideo;Audio;");
    EXPECT_EQ(entry["MimeType"], "audio/midi;audio/x-midi;");

    // Exec names the program that bin/ holds (found on PATH) and passes one file.
    const QStringList exec = entry["Exec"].split(' ');
    ASSERT_EQ(exec.size(), 2);
    EXPECT_EQ(exec[1], "%f");
    const QFileInfo program(In("bin/" + exec[0]));
    EXPECT_TRUE(program.isFile() && program.isExecutable()) << exec[0].toStdString();

    // Icon names the icon in the theme at every size it is drawn at.
    EXPECT_EQ(entry["Icon"], kId);
    for (int size : {48, 128, 256}) {
        const QString path =
            In(QString("share/icons/hicolor/%1x%1/apps/%2.png").arg(size).arg(entry["Icon"]));
        const QImage icon(path);
        ASSERT_FALSE(icon.isNull()) << path.toStdString();
        EXPECT_EQ(icon.size(), QSize(size, size));
        // A tile with clear corners, not a square photograph.
        EXPECT_TRUE(icon.hasAlphaChannel());
        EXPECT_EQ(qAlpha(icon.pixel(0, 0)), 0);
        EXPECT_EQ(qAlpha(icon.pixel(size / 2, size / 2)), 255);
    }
    Validate("desktop-file-validate", {DesktopFile()});
}

TEST_F(InstallTest, TheMetainfoNamesTheDesktopEntryTheProgramAndThisVersion) {
    const QString path = In("share/metainfo/" + kId + ".metainfo.xml");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QXmlStreamReader xml(&file);
    std::map<QString, QString> seen;
    QString releaseVersion;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement) continue;
        const QString name = xml.name().toString();
        if (name == "release") {
            if (releaseVersion.isEmpty())
                releaseVersion = xml.attributes().value("version").toString();
            continue;
        }
        if (name == "id" || name == "launchable" || name == "binary" || name == "name" ||
            name == "project_license" || name == "metadata_license")
            seen[name] = xml.readElementText();
    }
    ASSERT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    EXPECT_EQ(seen["id"], kId);
    EXPECT_EQ(seen["name"], "Tonvera");
    EXPECT_TRUE(QFile::exists(In("share/applications/" + seen["launchable"])))
        << seen["launchable"].toStdString();
    EXPECT_TRUE(QFile::exists(In("bin/" + seen["binary"])));
    EXPECT_EQ(releaseVersion, TONVERA_VERSION);  // the newest release comes first
    EXPECT_EQ(seen["project_license"], "GPL-3.0-or-later");
    EXPECT_EQ(seen["metadata_license"], "CC0-1.0");
    Validate("appstreamcli", {"validate", "--no-net", path});
}

TEST_F(InstallTest, TheCopyrightFileSaysGplThreeOrLaterInDebiansFormat) {
    QFile file(In("share/doc/tonvera/copyright"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly | QIODevice::Text));
    const QStringList lines = QString::fromUtf8(file.readAll()).split('\n');
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_EQ(lines[0],
              "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/");
    const qsizetype files = lines.indexOf("Files: *");
    ASSERT_GE(files, 0);
    EXPECT_EQ(lines.value(files + 1), "Copyright: the Tonvera developers");
    EXPECT_EQ(lines.value(files + 2), "License: GPL-3+");
    // The licence it names is spelled out in a paragraph of its own.
    EXPECT_EQ(lines.count("License: GPL-3+"), 2);
    EXPECT_TRUE(
        lines.contains(" License version 3 can be found in \"/usr/share/common-licenses/GPL-3\"."));
}

TEST_F(InstallTest, TheManualPageShowsEveryFormTheExitCodesAndTheFiles) {
    const QString man = QStandardPaths::findExecutable("man");
    if (man.isEmpty()) GTEST_SKIP() << "man is not installed";
    const Outcome page = RunTool(man, {"--warnings", "-l", In("share/man/man1/tonvera.1.gz")},
                                 {"MANWIDTH=200", "LC_ALL=C.UTF-8", "MANPAGER=cat", "PAGER=cat"});
    ASSERT_EQ(page.exitCode, 0) << page.err.toStdString();
    EXPECT_TRUE(page.err.isEmpty()) << "the page has roff warnings: " << page.err.toStdString();

    // Every form that --help lists, so a new option cannot miss its page.
    std::istringstream usage(app::UsageText());
    int forms = 0;
    for (std::string line; std::getline(usage, line);) {
        if (line.rfind("  tonvera", 0) != 0) continue;
        const QString form = QString::fromStdString(line.substr(2, line.find("  ", 2) - 2));
        EXPECT_TRUE(page.out.contains("\n       " + form + "\n"))
            << "not on the page: " << form.toStdString();
        ++forms;
    }
    EXPECT_GE(forms, 5);
    for (const char* text : {"EXIT STATUS", "128+n", "TONVERA_SOUNDFONT", "FILES", "out.wav",
                             "XDG_MUSIC_DIR", "tonvera " TONVERA_VERSION})
        EXPECT_TRUE(page.out.contains(text)) << text;
}

}  // namespace
