#include "library/PersistentObjects.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "analysis/BDibUtils.h"
#include "base/Errors.h"
#include "base/ProgramFolder.h"

namespace brellin {

namespace fs = std::filesystem;

// ---- TPersistentClass

TPersistentClass::TPersistentClass(std::string ClassName, std::string Extension,
                                   std::string BaseName, TFactory Factory)
    : FClassName(std::move(ClassName)),
      FExtension(std::move(Extension)),
      FBaseName(std::move(BaseName)),
      FFactory(Factory) {}

TPersistentClass::TPersistentClass(const TPersistentClass& Parent, std::string ClassName,
                                   TFactory Factory)
    : TPersistentClass(std::move(ClassName), Parent.GetExtension(), Parent.GetBaseName(), Factory) {
}

std::unique_ptr<TPersistentObject> TPersistentClass::Create() const {
  if (FFactory == nullptr)
    throw EBrellinError("Cannot create an object of abstract class " + FClassName);
  return FFactory();
}

// ---- TPersistentObject

void TPersistentObject::SetName(const std::string& Value) {
  FName = Value;
  Changed();
}

void TPersistentObject::Changed() {
  if (OnChange) OnChange(*this);
}

void TPersistentObject::LoadFromFile(const std::string& Path) {
  FFileName = Path;
  TFileStream stream(Path, fmOpenRead);
  LoadFromStream(stream);
  FModified = false;
}

void TPersistentObject::SaveToFile(const std::string& Path) {
  if (FReadOnly) return;
  FFileName = Path;
  TSafeFileWriter writer(Path);
  SaveToStream(writer.Stream());
  writer.Commit();
  FModified = false;
}

void TPersistentObject::Save() {
  if (FReadOnly || !FModified) return;
  if (FFileName.empty()) FFileName = NewObjectFileName(ClassType(), ProgramFolder());
  SaveToFile(FFileName);
}

void TPersistentObject::DeleteFile() {
  if (!FFileName.empty()) std::remove(FFileName.c_str());
}

std::string NewObjectFileName(const TPersistentClass& Class, const std::string& Folder) {
  std::error_code ec;
  if (!fs::is_directory(Folder, ec)) {
    fs::create_directories(Folder, ec);
    if (!fs::is_directory(Folder, ec)) throw EWriteError("Cannot Create " + Folder);
  }
  const std::string base = Folder + Class.GetBaseName();
  const std::string extension = "." + Class.GetExtension();
  // Counters 1 and 10 both give "1000"; the existence test keeps the result
  // unique all the same.
  uint64_t n = 0;
  size_t width = 4;
  for (;;) {
    std::string digits = std::to_string(n);
    if (digits.size() < width) digits.append(width - digits.size(), '0');
    const std::string candidate = base + digits + extension;
    ++n;
    if (std::to_string(n).size() > width) ++width;
    if (!fs::exists(candidate, ec) && !fs::is_symlink(candidate, ec)) return candidate;
  }
}

// ---- TPersistentObjectManager

TPersistentObjectManager::TPersistentObjectManager(const TPersistentClass& ObjectClass)
    : FObjectClass(ObjectClass) {
  Load();
}

TPersistentObjectManager::~TPersistentObjectManager() = default;

void TPersistentObjectManager::Load() {
  std::vector<std::string> files;
  GetFiles(ProgramFolder(), "*." + FObjectClass.GetExtension(), &files);
  for (const std::string& path : files) {
    try {
      std::unique_ptr<TPersistentObject> obj = FObjectClass.Create();
      obj->LoadFromFile(path);
      FItems.push_back(std::move(obj));
    } catch (const std::exception& e) {
      // Left on disk and skipped, on every start; the user is not told.
      const std::string message = e.what();
      LogError(
          EBrellinError(message.find(path) == std::string::npos ? path + ": " + message : message));
    }
  }
}

TPersistentObject* TPersistentObjectManager::GetObject(int Index) const {
  if (Index < 0 || Index >= Count()) RaiseIndexError("TPersistentObjectManager.GetObject", Index);
  return FItems[size_t(Index)].get();
}

TPersistentObject* TPersistentObjectManager::Current() const {
  if (FItemIndex < 0 || FItems.empty()) return nullptr;
  return GetObject(FItemIndex);
}

TPersistentObject& TPersistentObjectManager::CurrentOrRaise() const {
  TPersistentObject* current = Current();
  if (current == nullptr) throw EBrellinError("The object list is empty");
  return *current;
}

void TPersistentObjectManager::SetItemIndex(int Index) {
  if (Index == FItemIndex) return;
  Fire(OnBeforeChange);
  FItemIndex = Index;
  Fire(OnChange);
}

int TPersistentObjectManager::Add(std::unique_ptr<TPersistentObject> Obj) {
  FItems.push_back(std::move(Obj));
  FItemIndex = Count() - 1;
  Fire(OnAdd);
  return FItemIndex;
}

void TPersistentObjectManager::InsertFirst(std::unique_ptr<TPersistentObject> Obj) {
  FItems.insert(FItems.begin(), std::move(Obj));
  FItemIndex = 0;
  Fire(OnAdd);
}

void TPersistentObjectManager::Delete() {
  // An empty library keeps ItemIndex 0 after loading, so the index alone
  // does not tell whether there is anything to delete.
  TPersistentObject& current = CurrentOrRaise();
  current.DeleteFile();
  FItems.erase(FItems.begin() + FItemIndex);
  FItemIndex = FItems.empty() ? -1 : 0;
  Fire(OnChange);
}

bool TPersistentObjectManager::Edit() {
  if (FEditForm == nullptr) throw EBrellinError("Must assign EditForm");
  TPersistentObject& current = CurrentOrRaise();
  FEditForm->SetObject(&current);
  if (!FEditForm->ShowModal()) return false;
  std::string name;
  FEditForm->GetObjectName(name);
  current.SetName(name);
  current.SetModified(true);
  current.Save();
  return true;
}

bool TPersistentObjectManager::New() {
  std::unique_ptr<TPersistentObject> obj = FObjectClass.Create();
  const int oldIndex = FItemIndex;
  FItems.push_back(std::move(obj));
  FItemIndex = Count() - 1;
  Fire(OnNew);
  // An exception from Edit leaves the new object in place as the current one.
  if (Edit()) {
    Fire(OnAdd);
    return true;
  }
  FItems.pop_back();
  FItemIndex = oldIndex;
  return false;
}

bool TPersistentObjectManager::NameExists(const std::string& Name) const {
  for (const auto& item : FItems)
    if (item->Name() == Name) return true;
  return false;
}

std::string TPersistentObjectManager::NewName() const {
  const std::string stem = "new " + FObjectClass.GetBaseName() + " name";
  if (!NameExists(stem)) return stem;
  for (uint64_t i = 1;; ++i) {
    std::string candidate = stem + " " + std::to_string(i);
    if (!NameExists(candidate)) return candidate;
  }
}

TPersistentObject* TPersistentObjectManager::FindById(int32_t Id) const {
  if (Id == 0) return FItems.empty() ? nullptr : FItems[0].get();
  for (const auto& item : FItems)
    if (item->Id() == Id) return item.get();
  return nullptr;
}

void TPersistentObjectManager::SelectById(int32_t Id) {
  if (Id == 0) {
    SetItemIndex(0);
    return;
  }
  for (int i = 0; i < Count(); ++i)
    if (FItems[size_t(i)]->Id() == Id) {
      SetItemIndex(i);
      return;
    }
}

void TPersistentObjectManager::SaveCurrentAs(const std::string& Name) {
  TPersistentObject& current = CurrentOrRaise();
  TMemoryStream memory;
  current.SaveToStream(memory);
  memory.SetPosition(0);
  std::unique_ptr<TPersistentObject> clone = FObjectClass.Create();
  clone->LoadFromStream(memory);
  clone->SetName(Name);
  clone->SetReadOnly(false);
  clone->SetModified(true);
  clone->SetFileName("");
  clone->Save();
  Add(std::move(clone));
}

}  // namespace brellin
