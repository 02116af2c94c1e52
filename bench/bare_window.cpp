// The yardstick of start_bench.sh: a bare Qt 6 Widgets window, one QWidget
// shown, nothing else.
#include <QApplication>
#include <QWidget>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("bare window"));
    window.resize(640, 480);
    window.show();
    return app.exec();
}
