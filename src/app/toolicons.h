#pragma once
// The pictures of the tool bar and the program icon, drawn by the program itself so that they stay crisp at
// 16 x 16 and 32 x 32 and share one palette.

#include <QIcon>
#include <QImage>

namespace zv {

// Tool images, in tool-bar order.
enum ToolImage : int {
    ToolNew = 0,
    ToolOpen,
    ToolSave,
    ToolCut,
    ToolCopy,
    ToolPaste,
    ToolDateTime,
    ToolFind,
    ToolWordWrap,
    ToolExternalProgram,
    ToolEncrypt,
    ToolSign,
    ToolEncryptSign,
    ToolDecrypt,
    ToolImageCount
};

// The tool image of that index (0 to 13) with pixmaps of 16, 24, 32 and 48 pixels; an empty icon for any
// other index.
QIcon toolIcon(int index);
// One tool image at one size (a transparent, square ARGB image); a null image for an unknown index.
QImage toolImage(int index, int size);

// The program icon (a document with a padlock) at 16, 24, 32, 48, 64, 128 and 256 pixels.
QIcon appIcon();
QImage appImage(int size);

} // namespace zv
