// Measures how long the program takes to put its window on the screen, against a bare Qt
// Widgets window (one label) started the same way in the same run.
//
//   bench_start [runs]      (default 7 of each)
//
// Starts its own virtual X server, the simulator on a pseudo-terminal and the program in a
// scratch program folder whose Port.Ini names the simulator, so the program starts as a
// technician's does: with its indicator on the line. The two programs are started in turn
// (bare, program, bare, ...), each timed from just before the fork until a top-level window
// of it is viewable, polled every 5 ms; then its resident memory is read, and it is closed
// the way a user closes it (the window system's close request), so each start finds what a
// user's start finds: no stale lock left by a killed run. One start of each comes first,
// untimed, to warm the disk cache.
#include <xcb/xcb.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

[[noreturn]] void fail(const std::string& what)
{
    std::fprintf(stderr, "bench_start: %s\n", what.c_str());
    std::exit(1);
}

pid_t spawn(const std::vector<std::string>& args, int keepFd = -1)
{
    const pid_t pid = fork();
    if (pid < 0)
        fail("fork failed");
    if (pid == 0) {
        std::vector<char*> argv;
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        if (keepFd < 0) {
            // The programs' own chatter would only blur the table.
            freopen("/dev/null", "w", stdout);
            freopen("/dev/null", "w", stderr);
        }
        execv(argv[0], argv.data());
        _exit(127);
    }
    return pid;
}

void stop(pid_t pid)
{
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
}

// A viewable top-level window not made by the window system (none when 0): no window manager
// runs, so a program's window is a child of the root.
xcb_window_t windowShown(xcb_connection_t* x, xcb_window_t root)
{
    xcb_query_tree_reply_t* tree = xcb_query_tree_reply(x, xcb_query_tree(x, root), nullptr);
    if (!tree)
        fail("the X server stopped answering");
    const xcb_window_t* children = xcb_query_tree_children(tree);
    const int count = xcb_query_tree_children_length(tree);
    std::vector<xcb_get_window_attributes_cookie_t> asked;
    for (int i = 0; i < count; ++i)
        asked.push_back(xcb_get_window_attributes(x, children[i]));
    xcb_window_t shown = 0;
    for (int i = 0; i < count; ++i) {
        xcb_get_window_attributes_reply_t* a = xcb_get_window_attributes_reply(x, asked[i], nullptr);
        if (a && a->map_state == XCB_MAP_STATE_VIEWABLE && !a->override_redirect)
            shown = children[i];
        std::free(a);
    }
    std::free(tree);
    return shown;
}

xcb_atom_t atom(xcb_connection_t* x, const char* name)
{
    xcb_intern_atom_reply_t* r =
        xcb_intern_atom_reply(x, xcb_intern_atom(x, 0, std::strlen(name), name), nullptr);
    if (!r)
        fail(std::string("no atom ") + name);
    const xcb_atom_t a = r->atom;
    std::free(r);
    return a;
}

// What a window manager sends when the user clicks the window's close button.
void askToClose(xcb_connection_t* x, xcb_window_t window)
{
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = window;
    event.type = atom(x, "WM_PROTOCOLS");
    event.data.data32[0] = atom(x, "WM_DELETE_WINDOW");
    event.data.data32[1] = XCB_CURRENT_TIME;
    xcb_send_event(x, 0, window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&event));
    xcb_flush(x);
}

void closeAsAUser(xcb_connection_t* x, xcb_window_t window, pid_t pid, const std::string& program)
{
    askToClose(x, window);
    const auto asked = Clock::now();
    while (waitpid(pid, nullptr, WNOHANG) != pid) {
        if (Clock::now() - asked > std::chrono::seconds(10)) {
            std::fprintf(stderr, "bench_start: %s did not end when closed; killed\n",
                         program.c_str());
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

long rssKb(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::strtol(line.c_str() + 6, nullptr, 10);
    return -1;
}

struct Start
{
    double seconds;
    long rssAtMapKb;
    long rssSettledKb;
};

Start timeStart(xcb_connection_t* x, xcb_window_t root, const std::string& program)
{
    const auto t0 = Clock::now();
    const pid_t pid = spawn({program});
    xcb_window_t window = 0;
    for (;;) {
        window = windowShown(x, root);
        if (window)
            break;
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid)
            fail(program + " ended before its window was shown");
        if (Clock::now() - t0 > std::chrono::seconds(20))
            fail(program + " showed no window within 20 s");
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
    const long atMap = rssKb(pid);
    // What it holds once the start's work after the first paint (the port opened, the first
    // frames read) is done.
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const long settled = rssKb(pid);
    closeAsAUser(x, window, pid, program);
    while (windowShown(x, root))
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return {seconds, atMap, settled};
}

template <typename T>
T median(std::vector<T> v)
{
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

void copyFile(const std::string& from, const std::string& to)
{
    std::ifstream in(from, std::ios::binary);
    std::ofstream out(to, std::ios::binary);
    if (!in || !(out << in.rdbuf()))
        fail("cannot copy " + from);
    out.close();
    chmod(to.c_str(), 0755);
}

} // namespace

int main(int argc, char** argv)
{
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
    char scratchTemplate[] = "/tmp/bench_start.XXXXXX";
    const std::string scratch = mkdtemp(scratchTemplate);
    const std::string folder = scratch + "/kxlink";
    mkdir(folder.c_str(), 0755);
    // The program keeps its files beside itself: a copy of its own, the one file it is.
    const std::string program = folder + "/kxlink";
    copyFile(KX_APP_PATH, program);
    setenv("HOME", scratch.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (scratch + "/config").c_str(), 1);
    setenv("XDG_DATA_HOME", (scratch + "/data").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", scratch.c_str(), 1);
    setenv("QT_QPA_PLATFORM", "xcb", 1);

    int displayPipe[2];
    if (pipe(displayPipe) != 0)
        fail("pipe failed");
    const pid_t xvfb = spawn({"/usr/bin/Xvfb", "-displayfd", std::to_string(displayPipe[1]),
                              "-screen", "0", "1024x768x24", "-nolisten", "tcp"},
                             displayPipe[1]);
    close(displayPipe[1]);
    char number[16] = {};
    if (read(displayPipe[0], number, sizeof number - 1) <= 0)
        fail("Xvfb did not start");
    close(displayPipe[0]);
    const std::string display = ":" + std::string(number, std::strcspn(number, "\n"));
    setenv("DISPLAY", display.c_str(), 1);

    const std::string link = scratch + "/ttyKX7400";
    const pid_t sim = spawn({KX_SIM_PATH, "--link", link});
    for (int i = 0; i < 100 && access(link.c_str(), F_OK) != 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    if (access(link.c_str(), F_OK) != 0)
        fail("the simulator made no pseudo-terminal");
    std::ofstream(folder + "/Port.Ini")
        << "[Scale Port]\r\nPort=1\r\nBaud=3\r\nParity=0\r\nData Bits=0\r\nStop Bits=0\r\n"
           "Mode=0\r\n[Devices]\r\n1="
        << link << "\r\n";

    int screens = 0;
    xcb_connection_t* x = xcb_connect(display.c_str(), &screens);
    if (xcb_connection_has_error(x))
        fail("cannot reach the X server on " + display);
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(x)).data->root;

    timeStart(x, root, KX_BARE_PATH);
    timeStart(x, root, program);
    std::vector<double> bare, app;
    std::vector<long> bareRss, appRss, bareSettled, appSettled;
    for (int i = 0; i < runs; ++i) {
        const Start b = timeStart(x, root, KX_BARE_PATH);
        const Start a = timeStart(x, root, program);
        std::printf("run %d: bare %.3f s, kxlink %.3f s\n", i + 1, b.seconds, a.seconds);
        std::fflush(stdout);
        bare.push_back(b.seconds);
        app.push_back(a.seconds);
        bareRss.push_back(b.rssAtMapKb);
        appRss.push_back(a.rssAtMapKb);
        bareSettled.push_back(b.rssSettledKb);
        appSettled.push_back(a.rssSettledKb);
    }
    xcb_disconnect(x);
    stop(sim);
    stop(xvfb);

    const double b = median(bare), a = median(app);
    std::printf("\nwindow shown, median of %d: bare %.3f s, kxlink %.3f s, ratio %.2f\n", runs, b,
                a, a / b);
    std::printf("resident memory at the window, median: bare %.1f MB, kxlink %.1f MB\n",
                median(bareRss) / 1024.0, median(appRss) / 1024.0);
    std::printf("resident memory 1 s later, median: bare %.1f MB, kxlink %.1f MB\n",
                median(bareSettled) / 1024.0, median(appSettled) / 1024.0);
    std::string cleanup = "rm -rf '" + scratch + "'";
    return std::system(cleanup.c_str()) == 0 ? 0 : 1;
}
