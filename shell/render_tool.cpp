// ocuvant-render svg IN.svg OUT.png [HEIGHT] | pdf IN.md OUT.pdf
// Runs at build time: the skin's images are drawn as SVG and the manual written in Markdown.
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QSvgRenderer>
#include <QTextDocument>
#include <cstdio>
#include <cstdlib>

namespace {

int RenderSvg(const QString& in, const QString& out, int size) {
    QSvgRenderer renderer(in);
    if (!renderer.isValid()) {
        std::fprintf(stderr, "ocuvant-render: %s is not a valid SVG\n", qPrintable(in));
        return 1;
    }
    QSize target = renderer.defaultSize();
    // SIZE is the height: square icons become SIZE x SIZE, strips of icons keep every slot square.
    if (size > 0 && target.height() > 0) target = QSize(target.width() * size / target.height(), size);
    if (target.isEmpty()) target = QSize(32, 32);
    QImage image(target, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    renderer.render(&painter);
    painter.end();
    return image.save(out, "PNG") ? 0 : 1;
}

int RenderPdf(const QString& in, const QString& out) {
    QFile file(in);
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "ocuvant-render: cannot read %s\n", qPrintable(in));
        return 1;
    }
    QTextDocument doc;
    doc.setMarkdown(QString::fromUtf8(file.readAll()));
    QPdfWriter writer(out);
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setTitle("Ocuvant user's manual");
    writer.setResolution(96);
    doc.setPageSize(QSizeF(writer.width(), writer.height()));
    doc.print(&writer);
    return QFile::exists(out) ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc >= 4 && QString(argv[1]) == "svg") return RenderSvg(argv[2], argv[3], argc >= 5 ? std::atoi(argv[4]) : 0);
    if (argc == 4 && QString(argv[1]) == "pdf") return RenderPdf(argv[2], argv[3]);
    std::fprintf(stderr, "usage: ocuvant-render svg IN.svg OUT.png [SIZE] | pdf IN.md OUT.pdf\n");
    return 2;
}
