// The window's file fields beyond typing and browsing: files dropped onto the window, and the
// proposed output that follows the MIDI file the user picks.
#include <QDropEvent>

#include "app/main_form.h"
#include "controls/tool_edit.h"

namespace app {

namespace {

// The file stays where it is: the window only reads its name.
void TakeAsCopy(QDropEvent* event) {
    if (event->possibleActions() & Qt::CopyAction) event->setDropAction(Qt::CopyAction);
    event->accept();
}

}  // namespace

TDroppedFile TMainForm::Droppable(const QMimeData* data) const {
    // A run reads the fields when it stops; a name changed under it would go unseen or worse.
    if (running_ || commandLineRun_) return {};
    return DroppedFile(data);
}

// A drag the window refuses is left ignored: the cursor says so, no message does.
void TMainForm::dragEnterEvent(QDragEnterEvent* event) {
    if (Droppable(event->mimeData()).kind != TDroppedFile::Kind::kNone) TakeAsCopy(event);
}

void TMainForm::dragMoveEvent(QDragMoveEvent* event) {
    if (Droppable(event->mimeData()).kind != TDroppedFile::Kind::kNone) TakeAsCopy(event);
}

void TMainForm::dropEvent(QDropEvent* event) {
    const TDroppedFile file = Droppable(event->mimeData());
    if (file.kind == TDroppedFile::Kind::kNone) return;
    const bool midi = file.kind == TDroppedFile::Kind::kMidi;
    try {
        (midi ? FilenameEdit1 : FilenameEdit2)->SetExactFileName(file.path);
    } catch (const EComboEditError&) {
        return;  // DroppedFile took only names the fields hold; this is the field's last word
    }
    TakeAsCopy(event);
    if (midi) MidiPicked(file.path);
}

void TMainForm::MidiPicked(const QString& midi) {
    if (!proposal_.Holds(FilenameEdit2->FileName())) return;
    const QString wav = proposal_.ForPiece(midi);
    if (wav.isEmpty()) return;
    try {
        FilenameEdit2->SetExactFileName(wav);
        proposal_.Made(wav);
    } catch (const EComboEditError&) {
        // A piece whose name the field refuses keeps the proposal it had.
    }
}

}  // namespace app
