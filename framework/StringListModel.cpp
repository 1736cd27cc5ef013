#include "StringListModel.h"
#include "QtText.h"

#include "Exceptions.h"

namespace quellora {

const std::string& TStringListModel::Get(int index) const
{
    if (index < 0 || index >= Count())
        throw EListError(Format("List index out of bounds (%d)", index));
    return items_[size_t(index)];
}

void TStringListModel::Add(std::string item)
{
    beginInsertRows({}, Count(), Count());
    items_.push_back(std::move(item));
    endInsertRows();
}

void TStringListModel::Delete(int index)
{
    if (index < 0 || index >= Count())
        throw EListError(Format("List index out of bounds (%d)", index));
    beginRemoveRows({}, index, index);
    items_.erase(items_.begin() + index);
    endRemoveRows();
}

void TStringListModel::Clear()
{
    Assign({});
}

void TStringListModel::Assign(ByteStrings items)
{
    beginResetModel();
    items_ = std::move(items);
    endResetModel();
}

void TStringListModel::LoadFromFile(const std::string& path)
{
    // Read first: a failed read leaves the list as it was.
    Assign(LoadListFile(path));
}

void TStringListModel::SaveToFile(const std::string& path) const
{
    SaveListFile(path, items_);
}

int TStringListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : Count();
}

QVariant TStringListModel::data(const QModelIndex& index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= Count())
        return {};
    const std::string& item = items_[size_t(index.row())];
    return ToQString(item);
}

} // namespace quellora
