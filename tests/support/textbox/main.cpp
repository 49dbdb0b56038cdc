// SPDX-License-Identifier: MIT
// A Qt text box for end-to-end tests: its title comes from the command line,
// and it writes its whole text to a file whenever it changed (a burst of
// changes is written once, shortly after the burst).
#include <QApplication>
#include <QFile>
#include <QPlainTextEdit>
#include <QTimer>

#include <cstdio>

namespace {

// Written beside the file and renamed over it, so a reader never sees half.
void save(const QString& path, const QString& text)
{
    const QString partial = path + QStringLiteral(".part");
    QFile file(partial);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return;
    file.write(text.toUtf8());
    file.close();
    std::rename(QFile::encodeName(partial).constData(), QFile::encodeName(path).constData());
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QStringList args = QApplication::arguments();
    if (args.size() != 3)
        return 2;
    const QString path = args.at(2);

    QPlainTextEdit box;
    box.setWindowTitle(args.at(1));
    box.resize(600, 400);
    QTimer pending;
    pending.setSingleShot(true);
    pending.setInterval(10);
    QObject::connect(&pending, &QTimer::timeout, [&box, path] { save(path, box.toPlainText()); });
    QObject::connect(&box, &QPlainTextEdit::textChanged, [&pending] {
        if (!pending.isActive())
            pending.start();
    });
    box.show();
    save(path, QString());
    return app.exec();
}
