// Every text the installer shows or writes, in one place. The sources are UTF-8; the compilers run
// with -fexec-charset=CP1251, so each literal is stored as Windows-1251 bytes.
#pragma once

namespace kv::text {

// Captions and titles.
inline constexpr char kWindowCaption[] = "Установка";
inline constexpr char kApplicationTitle[] = "Установка Kelvantor";
inline constexpr char kCaptionError[] = "Ошибка";
inline constexpr char kCaptionWarning[] = "Внимание";
inline constexpr char kCaptionFullEdition[] = "версия 3.01/5";
inline constexpr char kCaptionDemoEdition[] = "демо-версия 3.01/5";
inline constexpr char kStoredEditionCaption[] = "версия 3.01/3";
inline constexpr char kProductNameFull[] = "Kelvantor 3.01";
inline constexpr char kProductNameDemo[] = "Kelvantor 3.01 demo";

// Buttons.
inline constexpr char kNext[] = "&Дальше >";
inline constexpr char kBack[] = "< &Назад";
inline constexpr char kCancel[] = "Отменить";
inline constexpr char kAgree[] = "Согласен";
inline constexpr char kFinishedOk[] = "Ok";
inline constexpr char kAbortedOk[] = "&Ok";

// Labels.
inline constexpr char kWelcomeBanner[] = "Добро пожаловать !\r\nНачнем установку ?";
inline constexpr char kFolderPrompt[] = "Введите путь для установки:";
inline constexpr char kInstalledBanner[] = "Установка успешно завершена !";
inline constexpr char kAbortedBanner[] = "Установка прервана !";
inline constexpr char kBrowseHint[] =
    "Нажмите эту кнопку, чтобы выбрать \r\nпапку для установки программы";
inline constexpr char kBrowseTitle[] = "Выберите папку для установки программы";

// Status lines.
inline constexpr char kStatusDeletingFiles[] = "Удаляю файлы из каталога ";
inline constexpr char kStatusDeletingFilesTail[] = " ...";
inline constexpr char kStatusDeletingTemp[] = "Удаляю временные файлы ...";
inline constexpr char kStatusCopying[] = "Копирую файлы...";
inline constexpr char kStatusUnpacking[] = "Распаковываю...";
inline constexpr char kStatusRemovingOld[] = "Удаляю старую версию...";
// Each of these is followed by the product's name and kStatusNameTail.
inline constexpr char kStatusCreatingGroup[] = "Создаю группу \"";
inline constexpr char kStatusDeletingGroup[] = "Удаляю группу \"";
inline constexpr char kStatusRegistering[] = "Регистрирую \"";
inline constexpr char kStatusCreatingLink[] = "Создаю ярлык \"";
inline constexpr char kStatusNameTail[] = "\"...";

// Messages.
inline constexpr char kMsgNoFirstVolume[] = "Файл xalarch.v1 не обнаружен !";
inline constexpr char kMsgNoLicence[] = "Файл licenz.doc не обнаружен!";
inline constexpr char kMsgLicenceUnreadable[] = "Не могу прочитать файл licenz.doc !";
inline constexpr char kMsgConfirmAbort[] = "Вы хотите прервать установку ?";
inline constexpr char kMsgBadPath[] = "Путь введен неверно !";
inline constexpr char kMsgNoSpaceHead[] = "На диске ";
inline constexpr char kMsgNoSpaceTail[] = " недостаточно свободного места !";
inline constexpr char kMsgCannotDeleteTemp[] = "Не могу удалить временные файлы !";
inline constexpr char kMsgCannotCopy[] = "Не могу скопировать файлы !";
inline constexpr char kMsgCannotUnpack[] = "Не могу распаковать !";
inline constexpr char kMsgInsertDisk2[] = "Вставьте диск 2:";
inline constexpr char kMsgInsertDisk3[] = "Вставьте диск 3:";
inline constexpr char kMsgCannotCreateGroup[] = "Не могу создать группу !";
inline constexpr char kMsgCannotDeleteGroup[] = "Не могу удалить группу !";
inline constexpr char kMsgCannotRegister[] = "Не могу зарегистрировать !";
inline constexpr char kMsgCannotCreateLink[] = "Не могу создать ярлык !";
inline constexpr char kMsgCannotDeleteLink[] = "Не могу удалить ярлык !";
// A file of the medium that does not match the seal in setup.exe: the head, the file's name, the
// tail.
inline constexpr char kMsgDamagedHead[] = "Файл ";
inline constexpr char kMsgDamagedTail[] = " поврежден или взят с другого дистрибутива !";
// A program carrying its own medium that is cut short or changed: kMsgDamagedHead, the program's
// file name, this tail.
inline constexpr char kMsgOneFileDamagedTail[] = " поврежден или загружен не полностью !";
inline constexpr char kMsgSetupRunning[] =
    "Установка Kelvantor уже идет.\r\nДождитесь ее окончания и запустите установку снова.";
// A product file that another program holds: kMsgFileInUseHead, the file's name, then
// kMsgFileInUseByHead, the holding program's name and kMsgFileInUseByTail where the system names
// that program (else kMsgFileInUseNoName), then kMsgFileInUseTail.
inline constexpr char kMsgFileInUseHead[] = "Файл ";
inline constexpr char kMsgFileInUseByHead[] = " занят программой \"";
inline constexpr char kMsgFileInUseByTail[] = "\".";
inline constexpr char kMsgFileInUseNoName[] = " занят другой программой.";
inline constexpr char kMsgFileInUseTail[] =
    "\r\n\r\nЗакройте Kelvantor и нажмите OK, чтобы продолжить установку,"
    "\r\nили Отмена, чтобы вернуться к выбору папки.";
inline constexpr char kMsgUsage[] =
    "Неверная командная строка !\r\n\r\n"
    "setup.exe [/S] [/LOG=файл] [/D=папка]\r\n\r\n"
    "/S - без окна и без вопросов, лицензия считается принятой\r\n"
    "/LOG=файл - журнал установки\r\n"
    "/D=папка - папка для установки, последний ключ строки\r\n\r\n"
    "Код выхода: 0 - установлено, 1 - не установлено,\r\n2 - неверная командная строка.";

// Names on the medium and in the target folder.
inline constexpr char kVolume0[] = "xalarch.v0";
inline constexpr char kVolume1[] = "xalarch.v1";
inline constexpr char kVolume2[] = "xalarch.v2";
inline constexpr char kVolume3[] = "xalarch.v3";
inline constexpr char kLicenceFile[] = "licenz.doc";
inline constexpr char kSetupProgram[] = "setup.exe";
inline constexpr char kTempArchive[] = "xalarch.pry";
inline constexpr char kDefaultFolder[] = "C:\\Kelvanto";
inline constexpr char kProductFolderName[] = "Kelvanto";
// The program group's order-form item: in Russian, or in English when the system fonts were
// switched.
inline constexpr char kOrderFormItem[] = "Заказать";
inline constexpr char kOrderFormItemEnglish[] = "Order form";

// Registry.
inline constexpr char kUserKey[] = "Software\\VOLKRA-TENZ\\Kelvantor";
inline constexpr char kStateSection[] = "State";
inline constexpr char kWorkingDir[] = "WorkingDir";
inline constexpr char kFileType[] = "Kelvantor.Список";
inline constexpr char kPublisher[] = "VOLKRA-TENZ";
inline constexpr char kProductVersion[] = "3.01";

}  // namespace kv::text
