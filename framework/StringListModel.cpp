#include "StringListModel.h"
#include "QtText.h"

#include "Exceptions.h"

namespace quellora {

void TStringListModel::checkIndex(int index) const
{
    if (index < 0 || index >= Count())
        throw EListError(Format("List index out of bounds (%d)", index));
}

std::string TStringListModel::Get(int index) const
{
    checkIndex(index);
    return std::string(items_[size_t(index)]);
}

void TStringListModel::Add(std::string_view item)
{
    beginInsertRows({}, Count(), Count());
    items_.push_back(item);
    endInsertRows();
}

void TStringListModel::Delete(int index)
{
    checkIndex(index);
    beginRemoveRows({}, index, index);
    items_.erase(size_t(index));
    endRemoveRows();
}

void TStringListModel::Clear()
{
    Assign({});
}

void TStringListModel::Assign(ByteStrings items)
{
    beginResetModel();
    // The old items leave with the argument, memory and all.
    std::swap(items_, items);
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
    return ToShownText(items_[size_t(index.row())]);
}

} // namespace quellora
