#include <QApplication>
#include <QLabel>
#include <QMainWindow>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Torvane"));
    window.setCentralWidget(new QLabel(QStringLiteral("Torvane")));
    window.resize(1100, 760);
    window.show();
    return app.exec();
}
