// The yardsticks of start_bench.sh: a bare Qt 6 Widgets window, one QWidget
// shown, nothing else; with --label, the same holding one QLabel in a
// layout, the least a window whose size comes from its text must do (it
// starts the font system before the window is mapped).
#include <QApplication>
#include <QLabel>
#include <QVBoxLayout>
#include <QWidget>

#include <cstring>

int main(int argc, char** argv)
{
    const bool label = argc > 1 && std::strcmp(argv[1], "--label") == 0;
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("bare window"));
    if (label)
        (new QVBoxLayout(&window))->addWidget(new QLabel(QStringLiteral("Pelvano")));
    window.resize(640, 480);
    window.show();
    return app.exec();
}
