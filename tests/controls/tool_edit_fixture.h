#pragma once
// The file-name field's suites share these: files in a folder of their own, and a dialog that
// answers in place of the user.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <functional>
#include <optional>

#include "controls/tool_edit.h"
#include "support/temp_folder.h"

namespace controlstest {

class TempFiles : public testsupport::TempFolderTest {
  protected:
    QString Touch(const QString& relative) {
        const QString path = dir_.QPath(relative);
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        return path;
    }
    QString Folder(const QString& relative) {
        const QString path = dir_.QPath(relative);
        QDir().mkpath(path);
        return path;
    }
    QString Path(const QString& relative) const { return dir_.QPath(relative); }
};

// Answers the dialog in place of the user and keeps what it was shown.
struct ScriptedDialog {
    std::optional<QString> answer;
    std::function<void()> during;
    int calls = 0;
    TFileDialogSettings seen;

    TFileDialogRunner Runner() {
        return [this](QWidget*, TFileDialogSettings& settings) {
            ++calls;
            seen = settings;
            if (during) during();
            return answer;
        };
    }
};

}  // namespace controlstest
