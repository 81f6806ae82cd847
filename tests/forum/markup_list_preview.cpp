// Shows a Game zone tree and a markup list as the announcements of a zone
// view would look, with the built-in head pictures below them. With a file name it saves a picture of
// the window and exits.
#include "forum_icons.h"
#include "head_image_pictures.h"
#include "markup_list_ctrl.h"
#include "ui_resources.h"
#include "zone_tree_ctrl.h"

#include <QApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QTimer>
#include <QVBoxLayout>

using quillora::ui::CMarkupListCtrl;

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    quillora::ui::initResources();

    QWidget window;
    window.setWindowTitle(QStringLiteral("Markup list"));
    auto *layout = new QVBoxLayout(&window);
    auto *list = new CMarkupListCtrl(&window, 1);
    list->SetImageList(quillora::ui::announcementKindIcons());
    list->SetStyle(CMarkupListCtrl::Images | CMarkupListCtrl::GridLines);
    list->SetHeaderHeight(24);
    list->SetHeaderText(QStringLiteral("Announcements"));
    const int row = CMarkupListCtrl::headerHeightForScreen(1024);
    list->AddItem(QStringLiteral("{b}Quillora 2007{/b} version 3.5 is out: {font color=#C00000}faster{/font} "
                                 "zone lists and {u}custom head images{/u}"),
                  0, CMarkupListCtrl::MarkupText, row);
    list->AddItem(QStringLiteral("Points doubled this week in {i}Programming{/i} - "
                                 "{font color='008000'}C/C++/VC++{/font} and {font color=#0050C0}Java/J#{/font}"),
                  1, CMarkupListCtrl::MarkupText, row);
    list->AddItem(QStringLiteral("Chemistry corner: H{sub}2{/sub}O, area in m{sup}2{/sup} and {x}literal braces"), 2,
                  CMarkupListCtrl::MarkupText, row);
    list->AddItem(QStringLiteral("{p}A measured item: {b}first line{/b}{br}second line after a break{p}"
                                 "and a paragraph, wrapped when the list is narrower than this sentence is long"),
                  3);
    list->AddItem(QStringLiteral("Plain text: {b} is not a tag here"), 1, CMarkupListCtrl::PlainText);
    list->AddItem(QStringLiteral("/home/member/Documents/Quillora/saved questions/2007/very long folder name/"
                                 "question-10423.mhtml"),
                  2, CMarkupListCtrl::FilePath);
    list->SetSelectedIndex(1);
    auto *top = new QHBoxLayout;
    auto *tree = new quillora::ui::CZoneTreeCtrl(2, &window);
    tree->setFixedWidth(180);
    tree->setCurrentItem(tree->topLevelItem(0)->child(1));
    top->addWidget(tree);
    top->addWidget(list, 1);
    layout->addLayout(top, 1);

    auto *faces = new QGridLayout;
    const QList<QPixmap> pictures = quillora::ui::builtInHeadPixmaps();
    for (int i = 0; i < pictures.size(); ++i) {
        auto *label = new QLabel(&window);
        label->setPixmap(pictures.at(i));
        label->setToolTip(QString::number(i + 1));
        faces->addWidget(label, i / 12, i % 12);
    }
    layout->addLayout(faces);
    window.resize(760, 470);
    window.show();
    list->setFocus();

    if (argc > 1) {
        const QString path = QString::fromLocal8Bit(argv[1]);
        QTimer::singleShot(500, &window, [&window, path] {
            window.grab().save(path);
            QApplication::quit();
        });
    }
    return app.exec();
}
