#include "ui/hvBoundControls.h"

#include <QMetaProperty>
#include <QVariant>
#include <QWidget>

ThvBoundWidget::ThvBoundWidget(QWidget& widget, const char* hint) : widget_(widget) {
    widget_.setProperty("hint", QString::fromLatin1(hint));
}

std::string ThvBoundWidget::Name() const { return widget_.objectName().toStdString(); }

std::string ThvBoundWidget::Hint() const {
    return widget_.property("hint").toString().toStdString();
}

QByteArray ThvBoundWidget::PropertyName(std::string_view prop) const {
    const QString wanted = QString::fromUtf8(prop.data(), static_cast<qsizetype>(prop.size()));
    const QMetaObject* meta = widget_.metaObject();
    for (int i = 0; i < meta->propertyCount(); ++i) {
        const QMetaProperty property = meta->property(i);
        if (wanted.compare(QLatin1String(property.name()), Qt::CaseInsensitive) == 0)
            return property.name();
    }
    return {};
}

ThvPropKind ThvBoundWidget::PropKind(std::string_view prop) const {
    const QByteArray name = PropertyName(prop);
    if (name.isEmpty()) return ThvPropKind::None;
    switch (widget_.property(name).metaType().id()) {
        case QMetaType::QString:
            return ThvPropKind::Text;
        case QMetaType::Bool:
            return ThvPropKind::Boolean;
        default:
            return ThvPropKind::None;
    }
}

std::string ThvBoundWidget::GetText(std::string_view prop) const {
    return widget_.property(PropertyName(prop)).toString().toStdString();
}

void ThvBoundWidget::SetText(std::string_view prop, std::string_view value) {
    widget_.setProperty(PropertyName(prop),
                        QString::fromUtf8(value.data(), static_cast<qsizetype>(value.size())));
}

bool ThvBoundWidget::GetBool(std::string_view prop) const {
    return widget_.property(PropertyName(prop)).toBool();
}

void ThvBoundWidget::SetBool(std::string_view prop, bool value) {
    widget_.setProperty(PropertyName(prop), value);
}
