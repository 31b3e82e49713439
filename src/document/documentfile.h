#pragma once
// The document's own file between reads and saves: a save of it that was interrupted, found when the file
// is opened again, and another program's change, found before the document is written over it.

#include "platform/textcodec.h"

#include <QString>

class TfrmMain;

namespace zv::document {

// Reads the document file for the window, after offering to finish an interrupted in-place save of it
// (restore the text before that save, or keep the one it was writing), and remembers what the file looked
// like (TfrmMain::FFileStamp). Errors propagate.
DecodedText readDocument(TfrmMain &w, const QString &fileName);

enum class Overwrite { Yes, Elsewhere, Cancel };

// Before the document is written to its own file: when another program changed or removed the file since
// it was read or saved, asks whether to overwrite it, save under another name, or not save.
Overwrite askBeforeOverwrite(TfrmMain &w, const QString &fileName);

} // namespace zv::document
