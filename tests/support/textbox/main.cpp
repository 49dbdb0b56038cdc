// A Qt text box for end-to-end tests: its title comes from the command line,
// and it writes its whole text to a file on every change.
#include <QApplication>
#include <QPlainTextEdit>
#include <QSaveFile>

namespace {

void save(const QString& path, const QString& text)
{
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly)) {
        file.write(text.toUtf8());
        file.commit();
    }
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
    QObject::connect(&box, &QPlainTextEdit::textChanged,
                     [&box, path] { save(path, box.toPlainText()); });
    box.show();
    save(path, QString());
    return app.exec();
}
