#!/usr/bin/env bash
# check_xp_imports.sh OBJDUMP PROGRAM [xp|vista]: fails when a Windows program (or DLL) of the
# build would not start on the oldest Windows the build is for: Windows XP SP3 for the 32-bit
# build (xp, the default), Windows Vista for the 64-bit one (vista). It reads the PE file with
# mingw-w64's objdump and fails on
#   - xp: a subsystem or OS version other than 5.01 in the PE header (the 32-bit build asks for
#     XP's, and XP refuses a later one); vista: one above 6.0 (Vista refuses a later one);
#   - an imported function that the system lacks (the lists below);
#   - a DLL that the system has not (UCRT and API-set DLLs, later system DLLs) or that Windows
#     has not at all (the compiler's runtime, which the build links statically).
# Functions reached through GetProcAddress at run time are not imports and are not checked.
set -u
objdump=$1
program=$2
oldest=${3:-xp}
case $oldest in
  xp) system="Windows XP SP3" ;;
  vista) system="Windows Vista" ;;
  *) echo "unknown system '$oldest': xp or vista"; exit 2 ;;
esac

# Added in Windows 7 or later (K32*: Windows 7), each of them missing from Windows Vista and
# from Windows XP.
missing_from_vista=(
  QueryUnbiasedInterruptTime GetSystemTimePreciseAsFileTime
  TryAcquireSRWLockExclusive TryAcquireSRWLockShared
  WaitOnAddress WakeByAddressSingle WakeByAddressAll
  GetActiveProcessorCount GetCurrentProcessorNumberEx GetLogicalProcessorInformationEx
  GetThreadIdealProcessorEx SetThreadGroupAffinity GetThreadGroupAffinity CreateRemoteThreadEx
  SetThreadDescription GetCurrentThreadStackLimits GetProcessMitigationPolicy
  SetProcessMitigationPolicy
  GetThreadErrorMode SetThreadErrorMode
  AddDllDirectory RemoveDllDirectory SetDefaultDllDirectories
  PowerCreateRequest PowerSetRequest PowerClearRequest
  ResolveLocaleName
  CopyFile2 CreateFile2 GetOverlappedResultEx
  GetDpiForWindow GetDpiForSystem SetProcessDpiAwarenessContext SetThreadDpiAwarenessContext
  ChangeWindowMessageFilterEx
)
# Added in Windows Vista (or in Windows 7 or later, as above), each of them missing from
# 32-bit Windows XP SP3. GetProcessId is not here: XP SP1 added it.
missing_from_xp=(
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
# DLLs of Windows 7 or later (shcore: 8.1), and the compiler's runtime; XP also lacks the
# DLLs that Vista brought.
later_dlls='api-ms-win-.*|ext-ms-.*|ucrtbase|vcruntime.*|kernelbase|shcore|d2d1|dwrite|libwinpthread-.*|libstdc\+\+-.*|libgcc_s_.*'
if [ "$oldest" = xp ]; then
  missing_functions=("${missing_from_xp[@]}" "${missing_from_vista[@]}")
  missing_dll_pattern="^($later_dlls|dwmapi|bcrypt|ncrypt)\.dll$"
else
  missing_functions=("${missing_from_vista[@]}")
  missing_dll_pattern="^($later_dlls)\.dll$"
fi

dump=$("$objdump" -p "$program") || { echo "$objdump cannot read $program"; exit 1; }
status=0

# "Name value" pairs of the PE header.
header_value() { awk -v name="$1" '$1 == name { print $2; exit }' <<<"$dump"; }
for field in SubsystemVersion OSystemVersion; do
  major=$(header_value "Major$field")
  minor=$(header_value "Minor$field")
  if [ "$oldest" = xp ] && [ "$major.$minor" != "5.1" ]; then
    echo "$program: Major/Minor$field $major.$minor, not 5.1 (Windows XP)"
    status=1
  elif [ "$oldest" = vista ] && { [ -z "$major" ] || [ $((major * 100 + minor)) -gt 600 ]; }; then
    echo "$program: Major/Minor$field $major.$minor, above 6.0 (Windows Vista)"
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
    echo "$program: imports $function from $dll, which $system lacks"
    status=1
  fi
done <<<"$imports"
while read -r dll; do
  if [[ ${dll,,} =~ $missing_dll_pattern ]]; then
    echo "$program: imports from $dll, which $system has not"
    status=1
  fi
done < <(cut -d' ' -f1 <<<"$imports" | sort -u)

[ $status -eq 0 ] && echo "$program: $(wc -l <<<"$imports") imports, all in $system"
exit $status
