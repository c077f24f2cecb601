// Persistent objects stored one per file in the program folder, and the
// library that loads, lists, selects, saves and deletes them by class.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/Stream.h"

namespace brellin {

class TPersistentObject;

// The class-level side of a persistent class: its file extension, the base
// of its file and default names, and its virtual constructor. A library
// needs these before any object of the class exists. Each persistent class
// has one static descriptor; a derived class inherits its parent's
// extension and base name.
class TPersistentClass {
 public:
  using TFactory = std::unique_ptr<TPersistentObject> (*)();

  TPersistentClass(std::string ClassName, std::string Extension, std::string BaseName,
                   TFactory Factory);
  // A descendant: the parent's extension and base name, its own constructor
  // (nullptr for an abstract class).
  TPersistentClass(const TPersistentClass& Parent, std::string ClassName, TFactory Factory);
  virtual ~TPersistentClass() = default;
  TPersistentClass(const TPersistentClass&) = delete;
  TPersistentClass& operator=(const TPersistentClass&) = delete;

  const std::string& ClassName() const { return FClassName; }
  // The file extension without dot ("bst", "stk", "srd").
  virtual std::string GetExtension() const { return FExtension; }
  // Prefix of new file names and of default names ("style", "stroke", "srend").
  virtual std::string GetBaseName() const { return FBaseName; }
  // An object with default content; throws for an abstract class.
  virtual std::unique_ptr<TPersistentObject> Create() const;

 private:
  std::string FClassName, FExtension, FBaseName;
  TFactory FFactory;
};

class TPersistentObject {
 public:
  using TNotifyEvent = std::function<void(TPersistentObject& Sender)>;

  TPersistentObject() = default;
  virtual ~TPersistentObject() = default;
  TPersistentObject(const TPersistentObject&) = delete;
  TPersistentObject& operator=(const TPersistentObject&) = delete;

  // The object's class descriptor (extension, base name, constructor).
  virtual const TPersistentClass& ClassType() const = 0;
  std::string GetExtension() const { return ClassType().GetExtension(); }
  std::string GetBaseName() const { return ClassType().GetBaseName(); }
  // The class's content. Readers treat the stream as hostile: every count is
  // checked against the bytes that remain; errors are thrown.
  virtual void LoadFromStream(TStream& Stream) = 0;
  virtual void SaveToStream(TStream& Stream) = 0;

  bool Modified() const { return FModified; }
  bool ReadOnly() const { return FReadOnly; }
  const std::string& Name() const { return FName; }
  const std::string& FileName() const { return FFileName; }
  int32_t Id() const { return FId; }

  // Sets the name and notifies OnChange.
  void SetName(const std::string& Value);
  void SetFileName(const std::string& Value) { FFileName = Value; }
  void SetModified(bool Value) { FModified = Value; }
  void SetReadOnly(bool Value) { FReadOnly = Value; }
  void SetId(int32_t Value) { FId = Value; }
  void Changed();

  // FileName := Path, then reads the file; Modified := False. Errors propagate.
  void LoadFromFile(const std::string& Path);
  // Nothing for a read-only object. Otherwise FileName := Path and the file is
  // written beside the old one and renamed over it once complete, so a failed
  // write keeps the previous file; Modified := False only on success.
  void SaveToFile(const std::string& Path);
  // Nothing when read-only or unmodified; picks a new file name in the
  // program folder when there is none yet, then SaveToFile.
  void Save();
  // Deletes the file named by FileName; failure is ignored.
  void DeleteFile();

  TNotifyEvent OnChange;

 private:
  bool FModified = false;
  bool FReadOnly = false;
  std::string FName;
  std::string FFileName;
  int32_t FId = 0;
};

// A free file name for a new object of the class in Folder (with trailing
// '/'): Folder + base + D + "." + extension, where D is a counter's digits
// padded with trailing zeros to at least four characters (0 -> "0000",
// 1 -> "1000", 12 -> "1200"). Creates Folder when missing; throws
// "Cannot Create " + Folder when that fails.
std::string NewObjectFileName(const TPersistentClass& Class, const std::string& Folder);

// The form through which a library lets the user edit an object; the user
// interface implements it.
class TFormPersistentObject {
 public:
  virtual ~TFormPersistentObject() = default;
  // Hands the object to edit to the form.
  virtual void SetObject(TPersistentObject* Obj) = 0;
  // The name the edited object is to take.
  virtual void GetObjectName(std::string& Name) = 0;
  // Shows the form modally; true when it was closed with OK.
  virtual bool ShowModal() = 0;
  // The window's caption ("Create New Pattern", "Edit Current Pattern").
  virtual void SetCaption(const std::string& Caption) { (void)Caption; }
};

// The library of one persistent class.
class TPersistentObjectManager {
 public:
  using TNotifyEvent = std::function<void(TPersistentObjectManager& Sender)>;

  // Loads every file of the class's extension in the program folder, in name
  // order. A file that fails to load is logged to "brellin.log" with its
  // reason and skipped. Fires no event; ItemIndex is 0.
  explicit TPersistentObjectManager(const TPersistentClass& ObjectClass);
  ~TPersistentObjectManager();
  TPersistentObjectManager(const TPersistentObjectManager&) = delete;
  TPersistentObjectManager& operator=(const TPersistentObjectManager&) = delete;

  const TPersistentClass& ObjectClass() const { return FObjectClass; }
  int Count() const { return int(FItems.size()); }
  // Throws "TPersistentObjectManager.GetObject: Index out of bounds(i)" outside 0..Count-1.
  TPersistentObject* GetObject(int Index) const;
  // nullptr when ItemIndex < 0 or the library is empty.
  TPersistentObject* Current() const;
  int ItemIndex() const { return FItemIndex; }
  // Nothing when Index = ItemIndex; otherwise OnBeforeChange, the change, OnChange.
  void SetItemIndex(int Index);

  // Appends Obj, makes it current, fires OnAdd; returns its index.
  int Add(std::unique_ptr<TPersistentObject> Obj);
  // Inserts Obj at index 0, makes it current, fires OnAdd.
  void InsertFirst(std::unique_ptr<TPersistentObject> Obj);
  // Deletes the current object and its file; selects index 0 (or -1 when
  // none remain) and fires OnChange. Throws "The object list is empty" when
  // there is no current object.
  void Delete();
  // Edits the current object through EditForm; on OK renames it, marks it
  // modified and saves it. Throws "Must assign EditForm" without a form.
  bool Edit();
  // Creates an object, selects it, fires OnNew and edits it; on OK fires
  // OnAdd and returns true, otherwise drops it and restores the selection.
  bool New();

  bool NameExists(const std::string& Name) const;
  // "new " + base + " name", or that followed by " 1", " 2", ...: the first unused.
  std::string NewName() const;
  // Id 0: the object at index 0 (nullptr when empty); else the first with that Id, or nullptr.
  TPersistentObject* FindById(int32_t Id) const;
  // Selects as FindById finds; nothing when no object carries Id.
  void SelectById(int32_t Id);
  // Saves a copy of the current object under Name as a new, writable file
  // and adds it to the library.
  void SaveCurrentAs(const std::string& Name);

  TFormPersistentObject* EditForm() const { return FEditForm; }
  void SetEditForm(TFormPersistentObject* Form) { FEditForm = Form; }

  TNotifyEvent OnChange;        // after SetItemIndex changed the index, after Delete
  TNotifyEvent OnBeforeChange;  // before SetItemIndex changes the index
  TNotifyEvent OnAdd;           // after Add, InsertFirst, a successful New, SaveCurrentAs
  TNotifyEvent OnNew;           // after New selected the new object, before editing it

 private:
  void Load();
  TPersistentObject& CurrentOrRaise() const;
  void Fire(const TNotifyEvent& Event) {
    if (Event) Event(*this);
  }

  const TPersistentClass& FObjectClass;
  std::vector<std::unique_ptr<TPersistentObject>> FItems;
  int FItemIndex = 0;
  TFormPersistentObject* FEditForm = nullptr;  // not owned
};

}  // namespace brellin
