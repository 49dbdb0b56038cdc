// SPDX-License-Identifier: MIT
// Watching a process from outside: the state of its UI thread, its CPU time
// and the bytes it has not read from a server's socket, on child processes
// that do exactly one thing.
#include "keys/process/ReadReceipt.h"

#include <QTemporaryDir>
#include <QtTest>

#include <condition_variable>
#include <mutex>
#include <poll.h>
#include <sys/select.h>
#include <thread>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

using keys::process::ReadReceipt;
using keys::process::TargetProcess;
using keys::process::ThreadState;

namespace {

enum class Doing { PollForever, SleepForever, Spin, SelectNothing, ParkedBesidePoller, WriteOnce };

// A child that does one thing until it is killed; ended by the destructor.
class Child {
public:
    explicit Child(Doing doing, int connectTo = -1)
    {
        int go[2];
        if (pipe(go) != 0)
            qFatal("pipe");
        pid_ = fork();
        if (pid_ == 0) {
            close(go[1]);
            pollfd readable{go[0], POLLIN, 0};
            switch (doing) {
            case Doing::PollForever:
                for (;;) {
                    poll(&readable, 1, -1);
                    // Told to: read what the server sent, then wait again.
                    char byte;
                    if (read(go[0], &byte, 1) == 1 && connectTo >= 0) {
                        char buffer[4096];
                        while (recv(connectTo, buffer, sizeof buffer, MSG_DONTWAIT) > 0) {
                        }
                    }
                }
            case Doing::SleepForever:
                for (;;)
                    sleep(100);
            case Doing::Spin:
                for (unsigned long n = 0;; ++n)
                    asm volatile("" : : "r"(n)); // keeps the loop
            case Doing::SelectNothing: // a sleep written as a wait for events
                for (;;) {
                    timeval tenSeconds{10, 0};
                    select(0, nullptr, nullptr, nullptr, &tenSeconds);
                }
            case Doing::ParkedBesidePoller: { // an event loop run by a helper thread
                std::thread([&readable] {
                    for (;;)
                        poll(&readable, 1, -1);
                }).detach();
                std::mutex lock;
                std::condition_variable never;
                std::unique_lock<std::mutex> hold(lock);
                for (;;)
                    never.wait(hold);
            }
            case Doing::WriteOnce: // a request the server never reads
                if (write(connectTo, "request", 7) != 7)
                    _exit(1);
                for (;;)
                    poll(&readable, 1, -1);
            }
        }
        close(go[0]);
        tell_ = go[1];
    }
    ~Child()
    {
        end();
        close(tell_);
    }
    void end()
    {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        pid_ = -1;
    }
    pid_t pid() const { return pid_; }
    void readNow() const { QCOMPARE(write(tell_, "r", 1), 1); }

private:
    pid_t pid_ = -1;
    int tell_ = -1;
};

// What the receipt comes to within 5 s of waiting to see it settled.
ReadReceipt::State settled(ReadReceipt& receipt)
{
    return receipt.await(ReadReceipt::State::Settled, std::chrono::seconds(5));
}

ThreadState stateOf(pid_t pid)
{
    const auto process = TargetProcess::find(pid);
    return process ? process->uiThread() : ThreadState::Gone;
}

// A Unix socket address: a path, or an abstract name where it starts with
// '@'.
struct Address {
    explicit Address(const QString& address) : name(address.toLocal8Bit())
    {
        where.sun_family = AF_UNIX;
        memcpy(where.sun_path, name.constData(), static_cast<size_t>(name.size()));
        if (address.startsWith(QLatin1Char('@')))
            where.sun_path[0] = '\0';
    }
    sockaddr* data() { return reinterpret_cast<sockaddr*>(&where); }
    socklen_t size() const { return static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + name.size()); }

    QByteArray name;
    sockaddr_un where{};
};

// A listening socket with one connection accepted, and a child doing one
// thing on the client's end; the server's end to send on. abstract: the
// socket has an abstract name, not a path.
struct ServerWithClient {
    explicit ServerWithClient(Doing doing, bool abstract = false)
        : address(abstract ? QLatin1Char('@') + folder.filePath(QStringLiteral("server"))
                           : folder.filePath(QStringLiteral("server"))),
          listening(socket(AF_UNIX, SOCK_STREAM, 0)), clientEnd(socket(AF_UNIX, SOCK_STREAM, 0))
    {
        Address where(address);
        if (bind(listening, where.data(), where.size()) != 0 || listen(listening, 4) != 0
            || ::connect(clientEnd, where.data(), where.size()) != 0)
            qFatal("cannot connect to %s", where.name.constData());
        serverEnd = accept(listening, nullptr, nullptr);
        client = std::make_unique<Child>(doing, clientEnd);
        close(clientEnd);
    }
    ~ServerWithClient()
    {
        client.reset();
        close(serverEnd);
        close(listening);
    }

    QTemporaryDir folder;
    QString address;
    int listening, clientEnd, serverEnd = -1;
    std::unique_ptr<Child> client;
};

} // namespace

class TestTargetProcess : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // The state of the UI thread; whether another thread waits for its
    // events instead (as Tcl's does) and a receipt settles where it is idle.
    void uiThreadState_data()
    {
        QTest::addColumn<int>("doing");
        QTest::addColumn<bool>("stop");
        QTest::addColumn<int>("expected");
        QTest::addColumn<bool>("idle");
        QTest::newRow("waiting in poll") << int(Doing::PollForever) << false << int(ThreadState::EventLoop) << true;
        QTest::newRow("asleep in a handler") << int(Doing::SleepForever) << false << int(ThreadState::Sleeping) << false;
        QTest::newRow("computing") << int(Doing::Spin) << false << int(ThreadState::Running) << false;
        QTest::newRow("stopped") << int(Doing::PollForever) << true << int(ThreadState::Stopped) << false;
        QTest::newRow("asleep in select on nothing") << int(Doing::SelectNothing) << false << int(ThreadState::Sleeping) << false;
        QTest::newRow("parked beside a poller") << int(Doing::ParkedBesidePoller) << false << int(ThreadState::Parked) << true;
    }
    void uiThreadState()
    {
        QFETCH(int, doing);
        QFETCH(bool, stop);
        QFETCH(int, expected);
        QFETCH(bool, idle);
        Child child(static_cast<Doing>(doing));
        if (stop)
            kill(child.pid(), SIGSTOP);
        QTRY_COMPARE_WITH_TIMEOUT(int(stateOf(child.pid())), expected, 5000);
        // The helper thread may reach its poll a moment after the UI thread parks.
        QTRY_COMPARE_WITH_TIMEOUT(TargetProcess::find(child.pid())->otherThreadWaitsForEvents(),
                                  doing == int(Doing::ParkedBesidePoller), 5000);
        ReadReceipt receipt(child.pid(), {});
        if (idle)
            QCOMPARE(settled(receipt), ReadReceipt::State::Settled);
    }

    void wchanWithSystemCall_data()
    {
        QTest::addColumn<QByteArray>("wchan");
        QTest::addColumn<QByteArray>("syscall");
        QTest::addColumn<int>("expected");
        const QByteArray poll = "poll_schedule_timeout.constprop.0";
        QTest::newRow("poll on descriptors") << poll << QByteArray("7 0x55a8 0x5 0x2708 0x0") << int(ThreadState::EventLoop);
        QTest::newRow("pselect6 on none") << poll << QByteArray("270 0x0 0x0 0x0 0x0 0x7ffd") << int(ThreadState::Sleeping);
        QTest::newRow("pselect6 on some") << poll << QByteArray("270 0x5 0x7f10 0x7f10 0x0") << int(ThreadState::EventLoop);
        QTest::newRow("system call hidden") << poll << QByteArray() << int(ThreadState::EventLoop);
        QTest::newRow("futex") << QByteArray("futex_do_wait") << QByteArray("202 0x55e9 0x189") << int(ThreadState::Parked);
        QTest::newRow("nanosleep") << QByteArray("hrtimer_nanosleep") << QByteArray() << int(ThreadState::Sleeping);
    }
    void wchanWithSystemCall()
    {
        QFETCH(QByteArray, wchan);
        QFETCH(QByteArray, syscall);
        QFETCH(int, expected);
        QCOMPARE(int(keys::process::stateFromWchan(wchan, syscall)), expected);
    }

    void cpuTimeGrowsOnlyWhileWorking()
    {
        Child spinning(Doing::Spin);
        Child waiting(Doing::PollForever);
        QTRY_COMPARE(int(stateOf(waiting.pid())), int(ThreadState::EventLoop));
        const auto busy = TargetProcess::find(spinning.pid());
        const auto idle = TargetProcess::find(waiting.pid());
        QVERIFY(busy && idle);
        const std::uint64_t busyBefore = busy->cpuTimeNs().value();
        const std::uint64_t idleBefore = idle->cpuTimeNs().value();
        QTRY_VERIFY(busy->cpuTimeNs().value() > busyBefore + 5'000'000);
        QCOMPARE(idle->cpuTimeNs().value(), idleBefore);
    }

    void unreadBytesOfTheServerConnection_data()
    {
        QTest::addColumn<bool>("abstract");
        QTest::newRow("socket at a path") << false;
        QTest::newRow("abstract socket") << true;
    }
    void unreadBytesOfTheServerConnection()
    {
        QFETCH(bool, abstract);
        ServerWithClient server(Doing::PollForever, abstract);
        auto process = TargetProcess::find(server.client->pid());
        QVERIFY(process);
        QVERIFY(!process->findConnections({server.folder.filePath(QStringLiteral("elsewhere"))}));
        QVERIFY(process->findConnections({server.address}));
        QCOMPARE(process->unreadBytes().value(), 0u);
        const QByteArray events(1000, 'k');
        QCOMPARE(write(server.serverEnd, events.constData(), events.size()), events.size());
        QCOMPARE(process->unreadBytes().value(), 1000u);
        server.client->readNow();
        QTRY_COMPARE(process->unreadBytes().value(), 0u);
        QCOMPARE(process->unsentBytes().value(), 0u);
    }

    // A request the server has not read keeps the receipt from settling.
    void unsentRequestIsNotSettled()
    {
        ServerWithClient server(Doing::WriteOnce);
        ReadReceipt receipt(server.client->pid(), {server.address});
        QTRY_COMPARE(TargetProcess::find(server.client->pid())->uiThread(), ThreadState::EventLoop);
        QVERIFY(receipt.await(ReadReceipt::State::Read, std::chrono::milliseconds(100))
                < ReadReceipt::State::Read);
        char request[7];
        QCOMPARE(read(server.serverEnd, request, sizeof request), 7);
        QCOMPARE(settled(receipt), ReadReceipt::State::Settled);
    }

    // The receipt follows a target through unread keys, reading, a stop and
    // its end; an ended process is not watched.
    void receiptFollowsTheTarget()
    {
        ServerWithClient server(Doing::PollForever);
        Child& client = *server.client;
        ReadReceipt receipt(client.pid(), {server.address});
        QVERIFY(receipt.visible() && receipt.seesConnection());
        QCOMPARE(settled(receipt), ReadReceipt::State::Settled);

        QCOMPARE(write(server.serverEnd, "keys", 4), 4);
        receipt.sent();
        QCOMPARE(receipt.await(ReadReceipt::State::Read, std::chrono::milliseconds(50)),
                 ReadReceipt::State::Unread);
        client.readNow();
        QCOMPARE(settled(receipt), ReadReceipt::State::Settled);

        const pid_t pid = client.pid();
        kill(pid, SIGSTOP);
        QTRY_COMPARE(receipt.look(), ReadReceipt::State::Stopped);
        client.end();
        QCOMPARE(receipt.look(), ReadReceipt::State::Gone);
        QCOMPARE(ReadReceipt(pid, {server.address}).look(), ReadReceipt::State::Unknown);
        QVERIFY(!TargetProcess::find(pid));
        QVERIFY(!TargetProcess::find(0));
    }

    void displayAddresses_data()
    {
        QTest::addColumn<QString>("display");
        QTest::addColumn<QStringList>("expected");
        const QStringList one{QStringLiteral("/tmp/.X11-unix/X1"), QStringLiteral("@/tmp/.X11-unix/X1")};
        QTest::newRow("number") << ":1" << one;
        QTest::newRow("screen") << ":1.0" << one;
        QTest::newRow("unix host") << "unix:1" << one;
        QTest::newRow("over TCP") << "example.org:1" << QStringList();
        QTest::newRow("empty") << "" << QStringList();
    }
    void displayAddresses()
    {
        QFETCH(QString, display);
        QFETCH(QStringList, expected);
        QCOMPARE(keys::process::xDisplayAddresses(display), expected);
    }
};

QTEST_GUILESS_MAIN(TestTargetProcess)
#include "tst_unit_targetprocess.moc"
