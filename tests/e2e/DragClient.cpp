// A drag source for drop.sh: a small window that, when the mouse is pressed
// on it, drags its arguments as a text/uri-list, offering a move first and a
// copy and a link as well, as a file manager does. Prints "ready" once shown,
// "over <action>" whenever the target under the pointer answers with an
// action ("copy", "move", "link" or "none"), and "dropped <action>" when the
// drag ends. It stays to hand over the data until it is ended.
//
// usage: drag_client <path>...

#include <QApplication>
#include <QDrag>
#include <QMimeData>
#include <QMouseEvent>
#include <QTimer>
#include <QWidget>

#include <cctype>
#include <cstdio>
#include <string>
#include <vector>

namespace {

// file:// URIs with every byte outside the unreserved set escaped, so that
// names that are not UTF-8 travel unchanged.
QByteArray uriList(const std::vector<std::string>& paths)
{
    QByteArray list;
    for (const std::string& path : paths) {
        list += "file://";
        for (unsigned char c : path) {
            if (std::isalnum(c) || c == '/' || c == '-' || c == '.' || c == '_' || c == '~')
                list += char(c);
            else
                list += QByteArray("%") + QByteArray::number(c, 16).rightJustified(2, '0').toUpper();
        }
        list += "\r\n";
    }
    return list;
}

const char* actionName(Qt::DropAction action)
{
    return action == Qt::CopyAction ? "copy" : action == Qt::MoveAction ? "move" : action == Qt::LinkAction ? "link" : "none";
}

class Source : public QWidget {
public:
    explicit Source(std::vector<std::string> paths) : paths_(std::move(paths))
    {
        setWindowTitle("drag source");
        setFixedSize(120, 120);
        move(860, 600);
    }

protected:
    void showEvent(QShowEvent*) override
    {
        QTimer::singleShot(0, this, [] { std::printf("ready\n"); std::fflush(stdout); });
    }

    void mousePressEvent(QMouseEvent*) override
    {
        auto* data = new QMimeData;
        data->setData("text/uri-list", uriList(paths_));
        auto* drag = new QDrag(this);
        drag->setMimeData(data);
        // The action the target under the pointer would take, as it answers.
        connect(drag, &QDrag::actionChanged, this, [](Qt::DropAction action) {
            std::printf("over %s\n", actionName(action));
            std::fflush(stdout);
        });
        const Qt::DropAction action = drag->exec(Qt::MoveAction | Qt::CopyAction | Qt::LinkAction, Qt::MoveAction);
        std::printf("dropped %s\n", actionName(action));
        std::fflush(stdout);
        // The target asks for the data only after the drop, when exec() has
        // returned already: stay until the test ends this process.
    }

private:
    std::vector<std::string> paths_;
};

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    std::vector<std::string> paths(argv + 1, argv + argc);
    Source source(paths);
    source.show();
    return app.exec();
}
