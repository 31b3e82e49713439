// Watches the pixels of an editor's window on an X server (Xvfb in `make bench-peers`), so that every
// editor, ours included, is timed the same way: by what it has painted, not by what it says about itself.
//
//   window_probe shot OUT [--timeout S] -- COMMAND...
//       starts the command, waits until its window has been painted and has not changed for a while, writes
//       the window's pixels to OUT, ends the command. Prints "ms=N" (launch to the first painted window).
//   window_probe empty REF [--timeout S] -- COMMAND...
//       prints "ms=N": launch until the window looks like REF (the settled empty editor, a shot of it).
//   window_probe text REF [--final OUT] [--timeout S] -- COMMAND...
//       prints "ms=N": launch until the text area of the window differs from that of REF, the empty editor,
//       and holds more than one colour (a window not painted yet is one colour). With --final, the window
//       is then left to settle and its pixels written to OUT.
//   window_probe compare A B
//       prints "differ=F": the share of the text area's pixels that differ between two shots.
//
// The window is the largest viewable top-level window (no window manager runs, so top-level windows are
// children of the root). The text area is the middle of the window (30 % to 70 % of its width and
// height): away from menus, tool bars, line numbers and status bars in every editor measured, and away
// from the caret, which stands at the start of the text. The command runs in a process group of its own,
// ended with SIGTERM and then SIGKILL. Times are milliseconds of the monotonic clock from just before the
// command was started.

#include <xcb/xcb.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace {

using Clock = std::chrono::steady_clock;

[[noreturn]] void die(const std::string &what)
{
    std::fprintf(stderr, "window_probe: %s\n", what.c_str());
    std::exit(2);
}

struct Image {
    int width = 0, height = 0;
    std::vector<std::uint32_t> pixels; // 0x00RRGGBB, row by row

    bool empty() const { return pixels.empty(); }
    std::uint32_t at(int x, int y) const { return pixels[size_t(y) * size_t(width) + size_t(x)] & 0xFFFFFF; }
};

struct Rect {
    int x, y, w, h;
};

Rect textArea(const Image &im)
{
    return {im.width * 3 / 10, im.height * 3 / 10, im.width * 4 / 10, im.height * 4 / 10};
}

// Share of the text-area pixels that differ (windows of different sizes differ wholly).
double differ(const Image &a, const Image &b)
{
    if (a.width != b.width || a.height != b.height || a.empty())
        return 1.0;
    const Rect r = textArea(a);
    long long n = 0;
    for (int y = r.y; y < r.y + r.h; ++y)
        for (int x = r.x; x < r.x + r.w; ++x)
            n += a.at(x, y) != b.at(x, y);
    return double(n) / double(std::max(1, r.w * r.h));
}

// Share of the whole window's pixels that differ.
double differWhole(const Image &a, const Image &b)
{
    if (a.width != b.width || a.height != b.height || a.empty())
        return 1.0;
    long long n = 0;
    for (size_t i = 0; i < a.pixels.size(); ++i)
        n += (a.pixels[i] & 0xFFFFFF) != (b.pixels[i] & 0xFFFFFF);
    return double(n) / double(a.pixels.size());
}

// Share of the text-area pixels that are not its most common colour.
double variety(const Image &im)
{
    const Rect r = textArea(im);
    std::map<std::uint32_t, long long> count;
    for (int y = r.y; y < r.y + r.h; ++y)
        for (int x = r.x; x < r.x + r.w; ++x)
            ++count[im.at(x, y)];
    long long most = 0;
    for (const auto &[colour, n] : count)
        most = std::max(most, n);
    return 1.0 - double(most) / double(std::max(1, r.w * r.h));
}

bool save(const Image &im, const std::string &path)
{
    FILE *f = std::fopen(path.c_str(), "wb");
    bool ok = f && std::fprintf(f, "ZVIMG %d %d\n", im.width, im.height) > 0
              && std::fwrite(im.pixels.data(), sizeof(std::uint32_t), im.pixels.size(), f) == im.pixels.size();
    ok = f && std::fclose(f) == 0 && ok;
    if (!ok)
        std::fprintf(stderr, "window_probe: cannot write %s\n", path.c_str());
    return ok;
}

Image load(const std::string &path)
{
    FILE *f = std::fopen(path.c_str(), "rb");
    Image im;
    if (!f || std::fscanf(f, "ZVIMG %d %d", &im.width, &im.height) != 2 || std::fgetc(f) != '\n' || im.width <= 0
        || im.height <= 0)
        die("not a shot: " + path);
    im.pixels.resize(size_t(im.width) * size_t(im.height));
    if (std::fread(im.pixels.data(), sizeof(std::uint32_t), im.pixels.size(), f) != im.pixels.size())
        die("short shot: " + path);
    std::fclose(f);
    return im;
}

class Display {
public:
    Display()
    {
        int screenNumber = 0;
        m_c = xcb_connect(nullptr, &screenNumber);
        if (xcb_connection_has_error(m_c))
            die("cannot connect to the X server");
        xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(m_c));
        for (int i = 0; i < screenNumber; ++i)
            xcb_screen_next(&it);
        m_root = it.data->root;
        m_depth = it.data->root_depth;
    }
    ~Display() { xcb_disconnect(m_c); }

    // The largest viewable top-level window of at least 100 x 100 pixels; 0 when there is none.
    xcb_window_t window(int &width, int &height)
    {
        xcb_query_tree_reply_t *tree = xcb_query_tree_reply(m_c, xcb_query_tree(m_c, m_root), nullptr);
        if (!tree)
            return 0;
        const xcb_window_t *children = xcb_query_tree_children(tree);
        const int n = xcb_query_tree_children_length(tree);
        std::vector<xcb_get_window_attributes_cookie_t> attrs;
        std::vector<xcb_get_geometry_cookie_t> geoms;
        for (int i = 0; i < n; ++i) {
            attrs.push_back(xcb_get_window_attributes(m_c, children[i]));
            geoms.push_back(xcb_get_geometry(m_c, children[i]));
        }
        xcb_window_t best = 0;
        long long bestArea = 0;
        for (int i = 0; i < n; ++i) {
            xcb_get_window_attributes_reply_t *a = xcb_get_window_attributes_reply(m_c, attrs[size_t(i)], nullptr);
            xcb_get_geometry_reply_t *g = xcb_get_geometry_reply(m_c, geoms[size_t(i)], nullptr);
            if (a && g && a->map_state == XCB_MAP_STATE_VIEWABLE && a->_class == XCB_WINDOW_CLASS_INPUT_OUTPUT
                && g->width >= 100 && g->height >= 100 && static_cast<long long>(g->width) * g->height > bestArea) {
                best = children[i];
                bestArea = static_cast<long long>(g->width) * g->height;
                width = g->width;
                height = g->height;
            }
            std::free(a);
            std::free(g);
        }
        std::free(tree);
        return best;
    }

    // The window's pixels; empty when it has gone or cannot be read.
    Image grab()
    {
        Image im;
        int w = 0, h = 0;
        const xcb_window_t win = window(w, h);
        if (!win)
            return im;
        xcb_get_image_reply_t *r = xcb_get_image_reply(
            m_c, xcb_get_image(m_c, XCB_IMAGE_FORMAT_Z_PIXMAP, win, 0, 0, std::uint16_t(w), std::uint16_t(h), ~0u),
            nullptr);
        if (!r)
            return im;
        const int length = xcb_get_image_data_length(r);
        if (length == w * h * 4) {
            im.width = w;
            im.height = h;
            im.pixels.resize(size_t(w) * size_t(h));
            std::memcpy(im.pixels.data(), xcb_get_image_data(r), size_t(length));
        }
        std::free(r);
        return im;
    }

private:
    xcb_connection_t *m_c = nullptr;
    xcb_window_t m_root = 0;
    int m_depth = 0;
};

class Child {
public:
    explicit Child(const std::vector<std::string> &argv)
    {
        std::vector<char *> args;
        for (const std::string &a : argv)
            args.push_back(const_cast<char *>(a.c_str()));
        args.push_back(nullptr);
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
        posix_spawnattr_t attr;
        posix_spawnattr_init(&attr);
        posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);
        posix_spawnattr_setpgroup(&attr, 0);
        start = Clock::now();
        const int rc = posix_spawnp(&m_pid, args[0], &fa, &attr, args.data(), environ);
        posix_spawn_file_actions_destroy(&fa);
        posix_spawnattr_destroy(&attr);
        if (rc != 0)
            die("cannot start " + argv[0] + ": " + std::strerror(rc));
    }
    ~Child()
    {
        ::kill(-m_pid, SIGTERM);
        for (int i = 0; i < 50 && !m_done; ++i) {
            int status = 0;
            if (::waitpid(m_pid, &status, WNOHANG) == m_pid)
                m_done = true;
            else
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        ::kill(-m_pid, SIGKILL);
        if (!m_done)
            ::waitpid(m_pid, nullptr, 0);
    }
    bool running()
    {
        int status = 0;
        if (!m_done && ::waitpid(m_pid, &status, WNOHANG) == m_pid)
            m_done = true;
        return !m_done;
    }
    double ms() const { return std::chrono::duration<double, std::milli>(Clock::now() - start).count(); }

    Clock::time_point start;

private:
    pid_t m_pid = 0;
    bool m_done = false;
};

// Waits until the window has stayed the same (the caret aside) for 1.5 s; returns its last image.
Image settle(Display &display, Child &child, double limitMs)
{
    Image last = display.grab();
    double stableSince = child.ms();
    while (child.ms() < limitMs) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        Image now = display.grab();
        if (now.empty() || last.empty() || differWhole(now, last) > 0.001) {
            stableSince = child.ms();
            last = std::move(now);
        } else if (child.ms() - stableSince >= 1500) {
            return now;
        }
    }
    return last;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2)
        die("usage: window_probe shot|empty|text|compare ...");
    const std::string mode = argv[1];
    if (mode == "compare") {
        if (argc != 4)
            die("usage: window_probe compare A B");
        std::printf("differ=%.4f\n", differ(load(argv[2]), load(argv[3])));
        return 0;
    }
    if (argc < 3)
        die("missing file");
    const std::string file = argv[2];
    std::string finalPath;
    double timeoutMs = 60000;
    int i = 3;
    for (; i < argc && std::strcmp(argv[i], "--") != 0; ++i) {
        if (std::strcmp(argv[i], "--final") == 0 && i + 1 < argc)
            finalPath = argv[++i];
        else if (std::strcmp(argv[i], "--timeout") == 0 && i + 1 < argc)
            timeoutMs = std::atof(argv[++i]) * 1000;
        else
            die(std::string("unknown option ") + argv[i]);
    }
    std::vector<std::string> command(argv + std::min(i + 1, argc), argv + argc);
    if (command.empty())
        die("no command");

    Display display;
    for (int tries = 0;; ++tries) { // the previous editor's window may still be going
        int w, h;
        if (!display.window(w, h))
            break;
        if (tries == 100)
            die("a window is already open on the display");
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    const Image reference = mode == "shot" ? Image{} : load(file);
    Child child(command); // ended by its destructor: every way out of here returns
    double found = -1;
    while (child.ms() < timeoutMs && child.running()) {
        const Image now = display.grab();
        if (!now.empty()) {
            const double t = child.ms();
            if (mode == "shot" || (mode == "empty" ? differWhole(now, reference) <= 0.01
                                                   : differ(now, reference) > 0.01 && variety(now) > 0.01)) {
                found = t;
                break;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    if (found < 0) {
        std::fprintf(stderr, "window_probe: %s: %s\n", command[0].c_str(),
                     child.running() ? "nothing painted in time" : "the command ended without painting");
        return 1;
    }
    std::printf("ms=%.1f\n", found);
    std::fflush(stdout);
    if (mode == "shot")
        return save(settle(display, child, found + timeoutMs), file) ? 0 : 1;
    if (!finalPath.empty())
        return save(settle(display, child, found + timeoutMs), finalPath) ? 0 : 1;
    return 0;
}
