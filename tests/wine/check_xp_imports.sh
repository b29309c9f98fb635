#!/usr/bin/env bash
# check_xp_imports.sh OBJDUMP PROGRAM: fails when a 32-bit Windows program (or DLL) of the
# build would not start on Windows XP SP3. It reads the PE file with mingw-w64's objdump and
# fails on
#   - a subsystem or OS version other than 5.01 in the PE header (XP refuses a later one);
#   - an imported function that XP SP3 lacks (the list below);
#   - a DLL that XP has not (UCRT and API-set DLLs, later system DLLs) or that Windows has not
#     at all (the compiler's runtime, which the build links statically).
# Functions reached through GetProcAddress at run time are not imports and are not checked.
set -u
objdump=$1
program=$2

# Added in Windows Vista or later (K32*: Windows 7), each of them missing from 32-bit Windows
# XP SP3. GetProcessId is not here: XP SP1 added it.
missing_functions=(
  # Time
  GetTickCount64 QueryUnbiasedInterruptTime GetSystemTimePreciseAsFileTime
  GetDynamicTimeZoneInformation
  # Slim reader/writer locks, condition variables, one-time initialisation, address waits
  InitializeSRWLock AcquireSRWLockExclusive AcquireSRWLockShared ReleaseSRWLockExclusive
  ReleaseSRWLockShared TryAcquireSRWLockExclusive TryAcquireSRWLockShared
  InitializeConditionVariable SleepConditionVariableCS SleepConditionVariableSRW
  WakeConditionVariable WakeAllConditionVariable
  InitOnceInitialize InitOnceExecuteOnce InitOnceBeginInitialize InitOnceComplete
  InitializeCriticalSectionEx WaitOnAddress WakeByAddressSingle WakeByAddressAll
  InterlockedCompareExchange64
  # Fiber local storage
  FlsAlloc FlsGetValue FlsSetValue FlsFree
  # Synchronisation objects with access masks
  CreateEventExA CreateEventExW CreateMutexExA CreateMutexExW CreateSemaphoreExA
  CreateSemaphoreExW CreateWaitableTimerExW
  # Thread pool, threads and processes
  CreateThreadpoolWork SubmitThreadpoolWork CloseThreadpoolWork WaitForThreadpoolWorkCallbacks
  CreateThreadpoolTimer SetThreadpoolTimer CloseThreadpoolTimer CreateThreadpoolWait
  SetThreadpoolWait CloseThreadpoolWait
  GetThreadId GetProcessIdOfThread GetCurrentProcessorNumber SetThreadStackGuarantee
  QueryFullProcessImageNameA QueryFullProcessImageNameW
  InitializeProcThreadAttributeList UpdateProcThreadAttribute DeleteProcThreadAttributeList
  GetErrorMode GetThreadErrorMode SetThreadErrorMode
  AddDllDirectory RemoveDllDirectory SetDefaultDllDirectories
  # Locale names
  GetLocaleInfoEx LCIDToLocaleName LocaleNameToLCID GetUserDefaultLocaleName
  GetSystemDefaultLocaleName CompareStringEx CompareStringOrdinal LCMapStringEx
  EnumSystemLocalesEx IsValidLocaleName ResolveLocaleName GetDateFormatEx GetTimeFormatEx
  GetNumberFormatEx GetCurrencyFormatEx GetUserPreferredUILanguages
  GetThreadPreferredUILanguages SetThreadPreferredUILanguages
  # Files and I/O
  GetFileInformationByHandleEx SetFileInformationByHandle GetFinalPathNameByHandleA
  GetFinalPathNameByHandleW CreateSymbolicLinkA CreateSymbolicLinkW
  GetVolumeInformationByHandleW CopyFile2 CreateFile2 CancelIoEx CancelSynchronousIo
  GetQueuedCompletionStatusEx SetFileCompletionNotificationModes
  # Registry and event tracing (advapi32)
  RegDeleteTreeA RegDeleteTreeW RegGetValueA RegGetValueW RegDeleteKeyExA RegDeleteKeyExW
  RegCopyTreeA RegCopyTreeW RegSetKeyValueA RegSetKeyValueW RegDeleteKeyValueA
  RegDeleteKeyValueW RegLoadMUIStringA RegLoadMUIStringW EventRegister EventUnregister
  EventWrite
  # Windows and dialogs (user32, comctl32, shell32)
  SetProcessDPIAware IsProcessDPIAware GetDpiForWindow GetDpiForSystem
  SetProcessDpiAwarenessContext SetThreadDpiAwarenessContext ChangeWindowMessageFilter
  ChangeWindowMessageFilterEx AddClipboardFormatListener RemoveClipboardFormatListener
  ShutdownBlockReasonCreate ShutdownBlockReasonDestroy TaskDialog TaskDialogIndirect
  SHGetKnownFolderPath SHCreateItemFromParsingName
)
missing_function_pattern='^K32[A-Z]'
missing_dll_pattern='^(api-ms-win-.*|ext-ms-.*|ucrtbase|vcruntime.*|kernelbase|dwmapi|bcrypt|ncrypt|d2d1|dwrite|libwinpthread-.*|libstdc\+\+-.*|libgcc_s_.*)\.dll$'

dump=$("$objdump" -p "$program") || { echo "$objdump cannot read $program"; exit 1; }
status=0

# "Name value" pairs of the PE header.
header_value() { awk -v name="$1" '$1 == name { print $2; exit }' <<<"$dump"; }
for field in SubsystemVersion OSystemVersion; do
  version="$(header_value "Major$field").$(header_value "Minor$field")"
  if [ "$version" != "5.1" ]; then
    echo "$program: Major/Minor$field $version, not 5.1 (Windows XP)"
    status=1
  fi
done

# "DLL function" for every import, from the import tables' listing:
#   <tab>DLL Name: KERNEL32.dll
#   <tab>vma:  Hint/Ord Member-Name Bound-To
#   <tab>1987ec<tab> 1569  RegCloseKey
imports=$(awk '
  /^The .*Import Tables/ { inside = 1; next }
  /^[^ \t]/ { inside = 0 }
  inside && /^\tDLL Name: / { dll = $3; next }
  inside && dll != "" && /^\t[0-9a-f]+\t +[0-9]+ +[^ ]/ { print dll, $3 }
' <<<"$dump")
if ! grep -qi '^kernel32\.dll ' <<<"$imports"; then
  echo "$program: no import from KERNEL32.dll found: objdump's listing was not understood"
  exit 1
fi

declare -A missing
for name in "${missing_functions[@]}"; do missing[$name]=1; done
while read -r dll function; do
  if [ -n "${missing[$function]+set}" ] || [[ $function =~ $missing_function_pattern ]]; then
    echo "$program: imports $function from $dll, which Windows XP SP3 lacks"
    status=1
  fi
done <<<"$imports"
while read -r dll; do
  if [[ ${dll,,} =~ $missing_dll_pattern ]]; then
    echo "$program: imports from $dll, which Windows XP SP3 has not"
    status=1
  fi
done < <(cut -d' ' -f1 <<<"$imports" | sort -u)

[ $status -eq 0 ] && echo "$program: $(wc -l <<<"$imports") imports, all in Windows XP SP3"
exit $status
