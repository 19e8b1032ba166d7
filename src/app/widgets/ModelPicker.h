#pragma once

#include <QComboBox>

namespace kestrion {

class AppSettings;
class ModelCatalog;

// The composer's model field: lists the catalog's models (without a catalog, the defaults
// and the model in use) and takes a typed name. A model picked from the list is stored at
// once; a typed one when the field is left, Return is pressed or a message is sent.
class ModelPicker final : public QComboBox {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ModelPicker)

public:
    explicit ModelPicker(AppSettings* settings, QWidget* parent = nullptr);

    void setModelCatalog(ModelCatalog* catalog);
    // Stores the name in the field as the model in use; an emptied field shows that model again.
    void commitTypedModel();

private:
    void showModels();

    AppSettings* m_settings;
    ModelCatalog* m_catalog = nullptr;
};

} // namespace kestrion
