#include "settingstable.h"

#include <algorithm>

namespace zv::setting {

namespace {

Row row(const Int &s) { return Row{s.section, s.name, Row::Type::Integer, s.def, {}, s.min, s.max}; }
Row row(const Bool &s) { return Row{s.section, s.name, Row::Type::Boolean, s.def ? 1 : 0, {}}; }
Row row(const Text &s) { return Row{s.section, s.name, Row::Type::String, 0, s.def}; }
template <typename T, size_t N>
void rows(std::vector<Row> &out, const std::array<T, N> &list)
{
    for (const T &s : list)
        out.push_back(row(s));
}

} // namespace

const std::vector<Row> &all()
{
    static const std::vector<Row> table = [] {
        std::vector<Row> t;
        for (const Row &r : {row(TabWidth), row(ShellProg)})
            t.push_back(r);
        rows(t, Recent);
        for (const Row &r : {row(FontName), row(FontSize), row(FontColor), row(FontBold), row(FontItalic),
                             row(FontUnderline), row(FontStrikeOut), row(ImeMode), row(BackColor), row(EscExit),
                             row(FlatToolbar), row(AutoIndent), row(TabToSpace), row(WordWrap), row(ToolBar),
                             row(StatusBar), row(DateTime), row(FindText)})
            t.push_back(r);
        rows(t, ImeText);
        rows(t, ImeBackground);
        for (const Row &r : {row(SelBar), row(Vertical), row(PgpCharSet), row(PrintFontBold), row(PrintFontItalic),
                             row(PrintFontUnderline), row(PrintFontStrikeOut), row(Left), row(Top), row(Height),
                             row(Width), row(FindLeft), row(FindTop), row(WindowState)})
            t.push_back(r);
        return t;
    }();
    return table;
}

QRect fitOnScreen(const QRect &window, const QRect &area)
{
    if (!area.isValid())
        return window;
    QRect r(window.topLeft(), window.size().boundedTo(area.size()));
    // Moved the least distance inside: first so that the right and bottom edges are in, then the left and
    // top (which win for a window as large as the area).
    if (r.right() > area.right())
        r.moveRight(area.right());
    if (r.bottom() > area.bottom())
        r.moveBottom(area.bottom());
    if (r.left() < area.left())
        r.moveLeft(area.left());
    if (r.top() < area.top())
        r.moveTop(area.top());
    return r;
}

} // namespace zv::setting
