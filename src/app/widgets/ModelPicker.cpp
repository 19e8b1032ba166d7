#include "app/widgets/ModelPicker.h"

#include "openai/ModelCatalog.h"
#include "settings/AppSettings.h"

#include <QLineEdit>
#include <QSignalBlocker>

namespace kestrion {

ModelPicker::ModelPicker(AppSettings* settings, QWidget* parent) : QComboBox(parent), m_settings(settings) {
    // The name the tools that drive or inspect the window find the picker by.
    setObjectName(QStringLiteral("modelPicker"));
    setEditable(true);
    setInsertPolicy(QComboBox::NoInsert);
    setAccessibleName(tr("Model"));
    setToolTip(tr("Pick a model or type its name"));
    setSizeAdjustPolicy(QComboBox::AdjustToContents);
    setMinimumContentsLength(16);
    showModels();

    connect(this, &QComboBox::currentIndexChanged, this, &ModelPicker::commitTypedModel);
    connect(lineEdit(), &QLineEdit::editingFinished, this, &ModelPicker::commitTypedModel);
    connect(m_settings, &AppSettings::modelChanged, this, &ModelPicker::showModels);
}

void ModelPicker::setModelCatalog(ModelCatalog* catalog) {
    if (m_catalog) {
        disconnect(m_catalog, nullptr, this, nullptr);
    }
    m_catalog = catalog;
    if (m_catalog) {
        connect(m_catalog, &ModelCatalog::modelsChanged, this, &ModelPicker::showModels);
    }
    showModels();
}

void ModelPicker::showModels() {
    const QString model = m_settings->model();
    // The list is rebuilt, not added to: a model typed or set elsewhere is listed while it is the
    // one in use (the catalog lists it), and names typed on the way there never pile up.
    const QStringList models = m_catalog ? m_catalog->models() : ModelCatalog::pickerModels(model, {});
    const QSignalBlocker blocker(this);
    QStringList listed;
    for (int i = 0; i < count(); ++i) {
        listed.append(itemText(i));
    }
    if (listed != models) {
        clear();
        addItems(models);
    }
    setCurrentIndex(findText(model));
    if (currentText() != model) {
        setEditText(model);
    }
}

void ModelPicker::commitTypedModel() {
    const QString typed = currentText().trimmed();
    // An emptied field keeps the model in use; the chat needs one.
    if (typed.isEmpty()) {
        showModels();
        return;
    }
    m_settings->setModel(typed);
}

} // namespace kestrion
