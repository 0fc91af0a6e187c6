// The least a Qt program does to show a window: the anchor of the window benchmark.
#include <QApplication>
#include <QLabel>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QLabel label("Velmora");
    label.resize(400, 300);
    label.show();
    return app.exec();
}
