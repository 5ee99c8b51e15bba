#include "ui/SheetParts.h"

#include "localization/Lookup.h"
#include "ui/SymbolView.h"
#include "ui/ViewStyle.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace ondrel::sheetparts {

Header header(QWidget* sheet, bool wrapSubtitle)
{
    Header out;
    out.layout = new QHBoxLayout;
    out.layout->setSpacing(12);
    out.layout->addWidget(
        new SymbolView(
            Symbol::wifi, 28, [](const QPalette& p) { return p.color(QPalette::Highlight); }, sheet),
        0, Qt::AlignVCenter);
    auto* titles = new QVBoxLayout;
    titles->setSpacing(2);
    out.title = new QLabel(sheet);
    out.title->setTextFormat(Qt::PlainText);
    out.title->setWordWrap(true);
    out.title->setFont(viewstyle::scaled(out.title->font(), 13, QFont::DemiBold));
    out.subtitle = new QLabel(sheet);
    out.subtitle->setTextFormat(Qt::PlainText);
    out.subtitle->setWordWrap(wrapSubtitle);
    out.subtitle->setFont(viewstyle::scaled(out.subtitle->font(), 12));
    viewstyle::setSecondary(out.subtitle);
    titles->addWidget(out.title);
    titles->addWidget(out.subtitle);
    out.layout->addLayout(titles, 1);
    return out;
}

Buttons buttons(QWidget* sheet)
{
    Buttons out;
    out.layout = new QHBoxLayout;
    out.layout->addStretch(1);
    out.cancel = new QPushButton(L("キャンセル", "Cancel"), sheet);
    out.cancel->setAutoDefault(false);
    out.connect = new QPushButton(L("接続", "Connect"), sheet);
    out.connect->setDefault(true);
    out.layout->addWidget(out.cancel);
    out.layout->addWidget(out.connect);
    return out;
}

} // namespace ondrel::sheetparts
