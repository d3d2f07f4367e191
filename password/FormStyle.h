// The look the forms were drawn with, on top of the platform's style:
// password fields show "*" for each character, as they always did.
#pragma once
#include <QProxyStyle>

class TFormStyle final : public QProxyStyle {
public:
    TFormStyle();
    int styleHint(StyleHint hint, const QStyleOption* option = nullptr, const QWidget* widget = nullptr,
                  QStyleHintReturn* returnData = nullptr) const override;
};
