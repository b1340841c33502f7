#include "ui/MainForm.h"

#include <QTabWidget>
#include <QVBoxLayout>

namespace {

QWidget* FillWithPage(QWidget* tab) {
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(tab);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(page);
    return page;
}

} // namespace

TMainFm::TMainFm(TMainWindowOptions options) : TOrvAPIClientMainFm(std::move(options)) {
    PageControl1->setTabText(PageControl1->indexOf(TabSheet2), QStringLiteral("GL Export"));
    TabSheet4 = new QWidget;
    PageControl1->addTab(TabSheet4, QStringLiteral("Checks Export"));
    QBGLExportFrame = FillWithPage(TabSheet2);
    QBChecksExportFrame = FillWithPage(TabSheet4);
}
