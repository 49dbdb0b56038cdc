// SPDX-License-Identifier: MIT
#include "XSession.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QThread>

#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <stdexcept>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace testsupport {

void setupFailed(const QString& what)
{
    throw std::runtime_error(what.toStdString());
}

ScopedEnvironment::~ScopedEnvironment()
{
    for (auto it = old_.rbegin(); it != old_.rend(); ++it) {
        if (it->second)
            qputenv(it->first, *it->second);
        else
            qunsetenv(it->first);
    }
}

void ScopedEnvironment::set(const char* name, const QByteArray& value)
{
    old_.emplace_back(name, qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name))
                                                            : std::nullopt);
    qputenv(name, value);
}

namespace {

std::vector<QByteArray> environmentWith(const QString& display)
{
    std::vector<QByteArray> env;
    for (char** e = environ; *e; ++e) {
        QByteArray entry(*e);
        if (!display.isEmpty() && entry.startsWith("DISPLAY="))
            continue;
        env.push_back(entry);
    }
    if (!display.isEmpty())
        env.push_back("DISPLAY=" + display.toLocal8Bit());
    return env;
}

std::vector<char*> pointersTo(std::vector<QByteArray>& strings)
{
    std::vector<char*> ptrs;
    for (QByteArray& s : strings)
        ptrs.push_back(s.data());
    ptrs.push_back(nullptr);
    return ptrs;
}

void initXlibThreads()
{
    static bool installed = false;
    if (installed)
        return;
    installed = true;
    XInitThreads();
}

} // namespace

// ---------------------------------------------------------------- processes

ChildProcess::ChildProcess(const QString& program, const QStringList& arguments,
                           const QString& display, int passFd)
{
    std::vector<QByteArray> args{program.toLocal8Bit()};
    for (const QString& a : arguments)
        args.push_back(a.toLocal8Bit());
    std::vector<QByteArray> env = environmentWith(display);
    std::vector<char*> argv = pointersTo(args);
    std::vector<char*> envp = pointersTo(env);
    const pid_t parent = getpid();

    // Signals stay blocked from the fork until the child has dropped the
    // test's handlers, which must never run in the child.
    sigset_t all, previous;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &previous);
    pid_ = fork();
    if (pid_ != 0)
        pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    if (pid_ < 0)
        setupFailed(QStringLiteral("fork failed: %1").arg(QString::fromLocal8Bit(strerror(errno))));
    if (pid_ == 0) {
        for (int sig = 1; sig < NSIG; ++sig)
            signal(sig, SIG_DFL);
        sigset_t none;
        sigemptyset(&none);
        pthread_sigmask(SIG_SETMASK, &none, nullptr);
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent)
            _exit(127);
        // A group of its own, so that signals a child sends to its group
        // never reach the test.
        setpgid(0, 0);
        int devNull = open("/dev/null", O_RDWR);
        dup2(devNull, 0);
        dup2(devNull, 1);
        dup2(devNull, 2);
        if (passFd >= 0) {
            if (passFd == 3)
                fcntl(3, F_SETFD, 0);
            else
                dup2(passFd, 3);
        }
        execvpe(argv[0], argv.data(), envp.data());
        _exit(127);
    }
}

ChildProcess::~ChildProcess()
{
    stop();
}

bool ChildProcess::isRunning()
{
    if (reaped_ || pid_ <= 0)
        return false;
    if (waitpid(pid_, &status_, WNOHANG) == pid_)
        reaped_ = true;
    return !reaped_;
}

int ChildProcess::waitForExit(int timeoutMs)
{
    waitUntil(timeoutMs, [this] { return !isRunning(); });
    if (!reaped_ || !WIFEXITED(status_))
        return -1;
    return WEXITSTATUS(status_);
}

void ChildProcess::stop(int graceMs)
{
    if (!isRunning())
        return;
    kill(pid_, SIGTERM);
    if (waitUntil(graceMs, [this] { return !isRunning(); }))
        return;
    kill(pid_, SIGKILL);
    if (waitpid(pid_, &status_, 0) == pid_)
        reaped_ = true;
}

int runProgram(const QString& display, const QString& program,
               const QStringList& arguments, int timeoutMs)
{
    ChildProcess child(program, arguments, display);
    return child.waitForExit(timeoutMs);
}

namespace {

QString typomatProgram()
{
    const QString program = qEnvironmentVariable("TYPOMAT_EXE");
    if (program.isEmpty())
        setupFailed(QStringLiteral("TYPOMAT_EXE does not name the program"));
    return program;
}

} // namespace

TypomatRun::TypomatRun(const QString& display, const QStringList& arguments)
    : TypomatRun(typomatProgram(), arguments, [&] {
          QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
          env.insert(QStringLiteral("DISPLAY"), display);
          env.remove(QStringLiteral("QT_QPA_PLATFORM"));
          env.remove(QStringLiteral("WAYLAND_DISPLAY"));
          return env;
      }())
{
}

TypomatRun TypomatRun::onWayland(const QStringList& arguments, const QStringList& environment,
                                 const QString& program)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    for (const QString& entry : environment)
        env.insert(entry.section(QLatin1Char('='), 0, 0), entry.section(QLatin1Char('='), 1));
    return TypomatRun(program.isEmpty() ? typomatProgram() : program, arguments, env);
}

TypomatRun::TypomatRun(const QString& program, const QStringList& arguments,
                       const QProcessEnvironment& environment)
    : process_(std::make_unique<QProcess>())
{
    process_->setProcessEnvironment(environment);
    process_->start(program, arguments);
    if (!process_->waitForStarted(10000))
        setupFailed(QStringLiteral("%1 did not start").arg(program));
}

TypomatRun::~TypomatRun()
{
    if (process_->state() != QProcess::NotRunning) {
        process_->kill();
        process_->waitForFinished(5000);
    }
}

pid_t TypomatRun::pid() const
{
    return static_cast<pid_t>(process_->processId());
}

int TypomatRun::waitForExit(int timeoutMs)
{
    if (!process_->waitForFinished(timeoutMs) || process_->exitStatus() != QProcess::NormalExit)
        return -1;
    return process_->exitCode();
}

QString TypomatRun::errorOutput()
{
    return QString::fromUtf8(process_->readAllStandardError()).trimmed();
}

bool waitUntil(int timeoutMs, const std::function<bool()>& check)
{
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        if (check())
            return true;
        if (clock.elapsed() >= timeoutMs)
            return false;
        QThread::msleep(2);
    }
}

// ------------------------------------------------------------------- Xvfb

std::unique_ptr<ChildProcess> startReporting(const QString& program, const QStringList& arguments,
                                             QByteArray& line, int timeoutMs)
{
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        setupFailed(QStringLiteral("pipe failed"));
    auto process = std::make_unique<ChildProcess>(program, arguments, QString(), fds[1]);
    close(fds[1]);
    line.clear();
    pollfd p{fds[0], POLLIN, 0};
    QElapsedTimer clock;
    clock.start();
    while (!line.endsWith('\n') && clock.elapsed() < timeoutMs) {
        char c;
        if (poll(&p, 1, 100) <= 0)
            continue;
        if (read(fds[0], &c, 1) != 1)
            break;
        line += c;
    }
    close(fds[0]);
    line = line.endsWith('\n') ? line.trimmed() : QByteArray();
    return process;
}

XServer::XServer()
{
    initXlibThreads();
    QByteArray number;
    process_ = startReporting(
        QStringLiteral("Xvfb"),
        {QStringLiteral("-displayfd"), QStringLiteral("3"), QStringLiteral("-screen"),
         QStringLiteral("0"), QStringLiteral("1280x1024x24"), QStringLiteral("-nolisten"),
         QStringLiteral("tcp")},
        number);
    if (number.isEmpty())
        setupFailed(QStringLiteral("Xvfb did not report a display number"));
    display_ = QStringLiteral(":") + QString::fromLatin1(number);
}

// ------------------------------------------------------------------ probe

namespace {

Atom atom(Display* dpy, const char* name)
{
    return XInternAtom(dpy, name, False);
}

QString textProperty(Display* dpy, Window w, Atom property)
{
    Atom type;
    int format;
    unsigned long count, after;
    unsigned char* data = nullptr;
    QString text;
    if (XGetWindowProperty(dpy, w, property, 0, 4096, False, AnyPropertyType, &type,
                           &format, &count, &after, &data) == Success && data) {
        if (format == 8) {
            QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(count));
            text = type == XA_STRING ? QString::fromLatin1(bytes) : QString::fromUtf8(bytes);
        }
        XFree(data);
    }
    return text;
}

long cardinalProperty(Display* dpy, Window w, Atom property, Atom wantedType, long fallback)
{
    Atom type;
    int format;
    unsigned long count, after;
    unsigned char* data = nullptr;
    long value = fallback;
    if (XGetWindowProperty(dpy, w, property, 0, 1, False, wantedType, &type, &format,
                           &count, &after, &data) == Success && data) {
        if (count == 1 && format == 32)
            value = *reinterpret_cast<long*>(data);
        XFree(data);
    }
    return value;
}

} // namespace

XProbe::XProbe(const QString& display)
{
    initXlibThreads();
    waitUntil(3000, [&] {
        dpy_ = XOpenDisplay(display.toLocal8Bit().constData());
        return dpy_ != nullptr;
    });
    if (!dpy_)
        setupFailed(QStringLiteral("cannot open display %1").arg(display));
    XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
}

XProbe::~XProbe()
{
    if (dpy_)
        XCloseDisplay(dpy_);
}

QString XProbe::titleOf(unsigned long window)
{
    QString title = textProperty(dpy_, window, atom(dpy_, "_NET_WM_NAME"));
    if (title.isEmpty())
        title = textProperty(dpy_, window, XA_WM_NAME);
    return title;
}

bool XProbe::isIconic(unsigned long window)
{
    Atom wmState = atom(dpy_, "WM_STATE");
    return cardinalProperty(dpy_, window, wmState, wmState, 0) == IconicState;
}

std::vector<unsigned long> XProbe::findWindows(const QString& title)
{
    std::vector<unsigned long> found;
    std::function<void(Window, int)> search = [&](Window w, int depth) {
        XWindowAttributes attrs;
        if (depth > 0 && XGetWindowAttributes(dpy_, w, &attrs)
            && (attrs.map_state == IsViewable || isIconic(w)) && titleOf(w) == title) {
            found.push_back(w);
            return;
        }
        if (depth >= 3)
            return;
        Window root, parent, *children = nullptr;
        unsigned int count = 0;
        if (XQueryTree(dpy_, w, &root, &parent, &children, &count)) {
            for (unsigned int i = count; i-- > 0;)
                search(children[i], depth + 1);
            if (children)
                XFree(children);
        }
    };
    search(DefaultRootWindow(dpy_), 0);
    return found;
}

unsigned long XProbe::findWindow(const QString& title)
{
    const std::vector<unsigned long> found = findWindows(title);
    return found.empty() ? 0 : found.front();
}

unsigned long XProbe::focusWindow()
{
    Window focus;
    int revert;
    XGetInputFocus(dpy_, &focus, &revert);
    return focus;
}

bool XProbe::focusIsIn(unsigned long window)
{
    Window w = focusWindow();
    while (w != None && w != PointerRoot) {
        if (w == window)
            return true;
        Window root, parent, *children = nullptr;
        unsigned int count;
        if (!XQueryTree(dpy_, w, &root, &parent, &children, &count))
            return false;
        if (children)
            XFree(children);
        if (w == root)
            return false;
        w = parent;
    }
    return false;
}

void XProbe::setFocus(unsigned long window)
{
    XRaiseWindow(dpy_, window);
    XSetInputFocus(dpy_, window, RevertToParent, CurrentTime);
    XSync(dpy_, False);
}

void XProbe::activate(unsigned long window)
{
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = atom(dpy_, "_NET_ACTIVE_WINDOW");
    event.xclient.format = 32;
    event.xclient.data.l[0] = 2;
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(dpy_, DefaultRootWindow(dpy_), False,
               SubstructureRedirectMask | SubstructureNotifyMask, &event);
    XSync(dpy_, False);
}

void XProbe::iconify(unsigned long window)
{
    XIconifyWindow(dpy_, window, DefaultScreen(dpy_));
    XSync(dpy_, False);
    waitUntil(5000, [&] { return isIconic(window); });
}

bool XProbe::hasWindowManager()
{
    Atom check = atom(dpy_, "_NET_SUPPORTING_WM_CHECK");
    long wm = cardinalProperty(dpy_, DefaultRootWindow(dpy_), check, XA_WINDOW, 0);
    return wm != 0 && cardinalProperty(dpy_, static_cast<Window>(wm), check, XA_WINDOW, 0) == wm;
}

bool XProbe::windowManagerReady()
{
    // openbox publishes its client list once it has set itself up; a client
    // that maps earlier can wait seconds to be managed.
    Atom type;
    int format;
    unsigned long count, after;
    unsigned char* data = nullptr;
    bool published = XGetWindowProperty(dpy_, DefaultRootWindow(dpy_),
                                        atom(dpy_, "_NET_CLIENT_LIST_STACKING"), 0, 0, False,
                                        AnyPropertyType, &type, &format, &count, &after, &data)
            == Success
        && type != None;
    if (data)
        XFree(data);
    return published && hasWindowManager();
}

void XProbe::setCapsLock(bool on)
{
    XkbLockModifiers(dpy_, XkbUseCoreKbd, LockMask, on ? LockMask : 0);
    XSync(dpy_, False);
}

int XProbe::emptyKeycodes()
{
    XkbDescPtr xkb = XkbGetMap(dpy_, XkbKeySymsMask, XkbUseCoreKbd);
    int empty = 0;
    for (int code = xkb->min_key_code; code <= xkb->max_key_code; ++code)
        empty += XkbKeyNumSyms(xkb, code) == 0;
    XkbFreeKeyboard(xkb, 0, True);
    return empty;
}

bool XProbe::capsLock()
{
    XkbStateRec state;
    XkbGetState(dpy_, XkbUseCoreKbd, &state);
    return state.locked_mods & LockMask;
}

bool XProbe::numLock()
{
    XkbStateRec state;
    XkbGetState(dpy_, XkbUseCoreKbd, &state);
    unsigned mask = XkbKeysymToModifiers(dpy_, XStringToKeysym("Num_Lock"));
    return mask && (state.locked_mods & mask);
}

unsigned long waitForWindow(const QString& display, const QString& title,
                            const std::vector<unsigned long>& existing, int timeoutMs)
{
    XProbe probe(display);
    unsigned long window = 0;
    waitUntil(timeoutMs, [&] {
        for (unsigned long w : probe.findWindows(title))
            if (std::find(existing.begin(), existing.end(), w) == existing.end()
                && !probe.isIconic(w)) {
                window = w;
                return true;
            }
        return false;
    });
    return window;
}

// --------------------------------------------------------- window manager

WindowManager::WindowManager(const XServer& server)
{
    process_ = std::make_unique<ChildProcess>(
        QStringLiteral("openbox"), QStringList{QStringLiteral("--sm-disable")}, server.display());
    XProbe probe(server.display());
    if (!waitUntil(10000, [&] { return probe.windowManagerReady(); }))
        setupFailed(QStringLiteral("openbox did not take over the screen"));
}

// ------------------------------------------------------------ capture xterm

CaptureTerminal::CaptureTerminal(const XServer& server, const QString& title)
    : title_(title), file_(QStringLiteral("capture"))
{
    const QString command = QStringLiteral("stty raw -echo; exec cat > '%1'").arg(file_.path());
    QStringList args{
        QStringLiteral("LC_ALL=C.UTF-8"), QStringLiteral("xterm"),
        QStringLiteral("-title"), title,
        QStringLiteral("-geometry"), QStringLiteral("100x30+40+40"),
    };
    const char* resources[] = {
        "XTerm*utf8: 1", "XTerm*locale: true", "XTerm*metaSendsEscape: true",
        "XTerm*altSendsEscape: true", "XTerm*eightBitInput: false",
        "XTerm*backarrowKey: false", "XTerm*backarrowKeyIsErase: false",
        "XTerm*ptyInitialErase: true", "XTerm*deleteIsDEL: false",
        "XTerm*modifyOtherKeys: 0", "XTerm*allowTitleOps: false",
    };
    for (const char* r : resources)
        args << QStringLiteral("-xrm") << QString::fromLatin1(r);
    args << QStringLiteral("-e") << QStringLiteral("sh") << QStringLiteral("-c") << command;
    const std::vector<unsigned long> existing = XProbe(server.display()).findWindows(title);
    process_ = std::make_unique<ChildProcess>(QStringLiteral("env"), args, server.display());
    window_ = waitForWindow(server.display(), title, existing);
    if (!window_ || !waitUntil(10000, [&] { return file_.exists(); }))
        setupFailed(QStringLiteral("the capture terminal \"%1\" did not start").arg(title));
}

QByteArray CaptureTerminal::bytes() const
{
    return file_.read();
}

QByteArray CaptureTerminal::waitForBytes(qsizetype size, int timeoutMs) const
{
    return file_.waitForBytes(size, timeoutMs);
}

// ------------------------------------------------------------ target file

bool TargetFile::exists() const
{
    return QFile::exists(path_);
}

QByteArray TargetFile::read() const
{
    QFile f(path_);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QByteArray TargetFile::waitForBytes(qsizetype size, int timeoutMs) const
{
    waitUntil(timeoutMs, [&] { return QFileInfo(path_).size() >= size; });
    QThread::msleep(150);
    return read();
}

QString TargetFile::value(const QString& key) const
{
    const QString prefix = key + QLatin1Char('=');
    for (const QString& line : QString::fromUtf8(read()).split(QLatin1Char('\n')))
        if (line.startsWith(prefix))
            return line.mid(prefix.size());
    return {};
}

// ------------------------------------------------------------ application

Application::Application(const XServer& server, const QString& program, const QString& title)
{
    const std::vector<unsigned long> existing = XProbe(server.display()).findWindows(title);
    const QString log = home_.filePath(QStringLiteral("output.log"));
    // An X11 program, also where this process has a Wayland display.
    const QString command = QStringLiteral("unset WAYLAND_DISPLAY; HOME='%1' exec %2 > '%3' 2>&1")
                                .arg(home_.path(), program, log);
    process_ = std::make_unique<ChildProcess>(QStringLiteral("sh"),
                                              QStringList{QStringLiteral("-c"), command},
                                              server.display());
    window_ = waitForWindow(server.display(), title, existing, 20000);
    if (!window_) {
        QFile output(log);
        output.open(QIODevice::ReadOnly);
        setupFailed(QStringLiteral("%1 did not show a window \"%2\"; its output: %3")
                 .arg(program, title, QString::fromLocal8Bit(output.readAll())));
    }
}

// ------------------------------------------------------------ event logger

EventLogger::EventLogger(const XServer& server, const QString& title)
    : title_(title), file_(QStringLiteral("events"))
{
    const std::vector<unsigned long> existing = XProbe(server.display()).findWindows(title);
    // Through a pseudo terminal, so that xev writes each event at once.
    const QString command = QStringLiteral("exec script -q -e -c \"xev -event keyboard -name '%1'\" "
                                           "/dev/null > '%2'")
                                .arg(title, file_.path());
    process_ = std::make_unique<ChildProcess>(
        QStringLiteral("sh"), QStringList{QStringLiteral("-c"), command}, server.display());
    if (!waitForWindow(server.display(), title, existing))
        setupFailed(QStringLiteral("the event logger \"%1\" did not start").arg(title));
}

QStringList EventLogger::pressedKeysyms() const
{
    static const QRegularExpression press(
        QStringLiteral("KeyPress event[^\\n]*\\n[^\\n]*\\n[^\\n]*keysym 0x[0-9a-f]+, ([^)]+)\\)"));
    QStringList names;
    const QString log = QString::fromUtf8(file_.read());
    for (const QRegularExpressionMatch& m : press.globalMatch(log))
        names << m.captured(1);
    return names;
}

// ------------------------------------------------------------ Qt text box

TextBoxTarget::TextBoxTarget(const XServer& server, const QString& title)
    : title_(title), file_(QStringLiteral("text"))
{
    const std::vector<unsigned long> existing = XProbe(server.display()).findWindows(title);
    process_ = std::make_unique<ChildProcess>(QStringLiteral(TYPOMAT_TEXTBOX_TARGET),
                                              QStringList{title, file_.path()}, server.display());
    window_ = waitForWindow(server.display(), title, existing);
    if (!window_ || !waitUntil(10000, [&] { return file_.exists(); }))
        setupFailed(QStringLiteral("the text box target \"%1\" did not start").arg(title));
}

QString TextBoxTarget::text() const
{
    return QString::fromUtf8(file_.read());
}

QString TextBoxTarget::waitForText(qsizetype size, int timeoutMs) const
{
    waitUntil(timeoutMs, [&] { return text().size() >= size; });
    QThread::msleep(150);
    return text();
}

// ------------------------------------------------------------ Qt dialogs

DialogTarget::DialogTarget(const XServer& server, const QString& title, const QStringList& options)
    : title_(title), file_(QStringLiteral("log"))
{
    const std::vector<unsigned long> existing = XProbe(server.display()).findWindows(title);
    process_ = std::make_unique<ChildProcess>(QStringLiteral(TYPOMAT_DIALOG_TARGET),
                                              QStringList{title, file_.path()} + options,
                                              server.display());
    window_ = waitForWindow(server.display(), title, existing);
    if (!window_ || !waitUntil(10000, [&] { return file_.exists(); }))
        setupFailed(QStringLiteral("the dialog target \"%1\" did not start").arg(title));
}

QString DialogTarget::value(const QString& key) const
{
    return file_.value(key);
}

QString DialogTarget::waitFor(const QString& key, const QString& expected, int timeoutMs) const
{
    waitUntil(timeoutMs, [&] { return value(key) == expected; });
    return value(key);
}

} // namespace testsupport
