#include <QApplication>
#include <QWidget>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QWidget w;
    w.setWindowTitle(QStringLiteral("Tessaryn Spectrum Analyzer"));
    w.show();
    return QApplication::exec();
}
