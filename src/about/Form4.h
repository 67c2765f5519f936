#pragma once

#include <QDialog>

class ClickableLabel;
class UrlOpener;

// The About window: borderless, closed by "Ok". A click on the maker's address hands that
// address to the browser, once per click; the window stays open.
class Form4 final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Form4)

public:
    explicit Form4(UrlOpener& browser, QWidget* parent = nullptr);

private Q_SLOTS:
    void Label3_Click();

private:
    void buildPicture();
    void buildTexts();
    void buildAddress();
    void buildOkButton();

    UrlOpener& m_browser;
    ClickableLabel* m_address = nullptr;
};
