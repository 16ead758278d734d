// An in-process COM server of the sample kit. The class identifier and the
// display name are read from the module's own resources, so one object file
// serves every module and each module differs only by its .rc.
//
// Written in C against kernel32, advapi32 and ole32 only: a kit module must
// load on a clean system and stay small.

#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <objbase.h>
#include <olectl.h>

#include "kit_ids.h"

#ifndef KIT_FAULT
#define KIT_FAULT KIT_FAULT_NONE
#endif

#define KIT_CLSID_CHARS 39  // 38 characters and the terminator
#define KIT_NAME_CHARS 256
#define KIT_PATH_CHARS 1024
#define KIT_KEY_CHARS (6 + KIT_CLSID_CHARS)  // "CLSID\" + identifier

static HINSTANCE g_module;

// Live objects, class factory references and LockServer locks together decide
// whether the module may be unloaded.
static LONG g_locks;

static void LockModule(void) { InterlockedIncrement(&g_locks); }
static void UnlockModule(void) { InterlockedDecrement(&g_locks); }

// Copies RCDATA text `id` into `out`. Fails rather than truncates.
static BOOL ReadResourceText(int id, WCHAR *out, int capacity)
{
    HRSRC info;
    HGLOBAL data;
    const char *bytes;
    DWORD size;
    int length;

    out[0] = L'\0';
    info = FindResourceW(g_module, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(10) /* RT_RCDATA */);
    if (!info) return FALSE;
    // Resource memory belongs to the loaded image; there is nothing to release.
    data = LoadResource(g_module, info);
    size = SizeofResource(g_module, info);
    bytes = data ? (const char *)LockResource(data) : NULL;
    if (!bytes) return FALSE;
    while (size > 0 && bytes[size - 1] == '\0') size--;
    if (size == 0 || size >= (DWORD)capacity) return FALSE;
    length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes, (int)size, out, capacity - 1);
    if (length <= 0) return FALSE;
    out[length] = L'\0';
    return TRUE;
}

static BOOL ReadOwnClsid(CLSID *clsid)
{
    WCHAR text[KIT_CLSID_CHARS];
    // IIDFromString takes only the braced form; CLSIDFromString would also
    // look the text up as a program identifier.
    return ReadResourceText(KIT_RES_CLSID, text, KIT_CLSID_CHARS) && SUCCEEDED(IIDFromString(text, clsid));
}

// "CLSID\{...}" below HKEY_CLASSES_ROOT, with the identifier as the resource spells it.
static BOOL ClassKeyPath(WCHAR *out)
{
    WCHAR clsid[KIT_CLSID_CHARS];
    CLSID parsed;
    if (!ReadResourceText(KIT_RES_CLSID, clsid, KIT_CLSID_CHARS) || FAILED(IIDFromString(clsid, &parsed))) return FALSE;
    lstrcpyW(out, L"CLSID\\");
    lstrcatW(out, clsid);
    return TRUE;
}

static BOOL OwnPath(WCHAR *out, DWORD capacity)
{
    DWORD length = GetModuleFileNameW(g_module, out, capacity);
    return length > 0 && length < capacity;  // length == capacity: truncated
}

#if KIT_FAULT == KIT_FAULT_NONE

static LONG SetText(HKEY key, const WCHAR *name, const WCHAR *text)
{
    return RegSetValueExW(key, name, 0, REG_SZ, (const BYTE *)text, (DWORD)(lstrlenW(text) + 1) * sizeof(WCHAR));
}

static LONG WriteRegistration(HKEY classKey, const WCHAR *name, const WCHAR *path)
{
    HKEY serverKey = NULL;
    LONG error = SetText(classKey, NULL, name);
    if (error != ERROR_SUCCESS) return error;
    error = RegCreateKeyExW(classKey, L"InprocServer32", 0, NULL, 0, KEY_WRITE, NULL, &serverKey, NULL);
    if (error != ERROR_SUCCESS) return error;
    error = SetText(serverKey, NULL, path);
    if (error == ERROR_SUCCESS) error = SetText(serverKey, L"ThreadingModel", L"Apartment");
    RegCloseKey(serverKey);
    return error;
}

#endif

STDAPI DllRegisterServer(void)
{
#if KIT_FAULT == KIT_FAULT_CRASH
    // Volatile on both sides, so that the compiler keeps the store and it
    // faults as an access violation.
    volatile int *volatile nowhere = NULL;
    *nowhere = 1;
    return E_UNEXPECTED;
#elif KIT_FAULT == KIT_FAULT_HANG
    for (;;) Sleep(INFINITE);
#elif KIT_FAULT == KIT_FAULT_FAIL
    return E_FAIL;
#else
    WCHAR keyPath[KIT_KEY_CHARS];
    WCHAR name[KIT_NAME_CHARS];
    WCHAR path[KIT_PATH_CHARS];
    HKEY classKey = NULL;
    DWORD disposition = 0;
    LONG error;

    if (!ClassKeyPath(keyPath) || !ReadResourceText(KIT_RES_NAME, name, KIT_NAME_CHARS) ||
        !OwnPath(path, KIT_PATH_CHARS))
        return SELFREG_E_CLASS;

    error = RegCreateKeyExW(HKEY_CLASSES_ROOT, keyPath, 0, NULL, 0, KEY_WRITE, NULL, &classKey, &disposition);
    if (error != ERROR_SUCCESS) return SELFREG_E_CLASS;
    error = WriteRegistration(classKey, name, path);
    RegCloseKey(classKey);

    // Leave no half-written class behind; a key that was there before is not ours to remove.
    if (error != ERROR_SUCCESS && disposition == REG_CREATED_NEW_KEY) RegDeleteTreeW(HKEY_CLASSES_ROOT, keyPath);
    return error == ERROR_SUCCESS ? S_OK : SELFREG_E_CLASS;
#endif
}

static BOOL FileIdentity(const WCHAR *path, BY_HANDLE_FILE_INFORMATION *info)
{
    BOOL known;
    HANDLE file = CreateFileW(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) return FALSE;
    known = GetFileInformationByHandle(file, info);
    CloseHandle(file);
    return known;
}

// Another module may register the same class identifier. Its registration is
// left alone: the class is ours to remove only when its server is this file,
// a file that no longer exists, or not named at all.
static BOOL RegisteredToAnotherFile(const WCHAR *keyPath)
{
    WCHAR serverPath[KIT_KEY_CHARS + 16];
    WCHAR registered[KIT_PATH_CHARS];
    WCHAR own[KIT_PATH_CHARS];
    BY_HANDLE_FILE_INFORMATION theirs, ours;
    DWORD type = 0;
    DWORD size = sizeof(registered) - sizeof(WCHAR);
    HKEY serverKey = NULL;
    LONG error;

    lstrcpyW(serverPath, keyPath);
    lstrcatW(serverPath, L"\\InprocServer32");
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, serverPath, 0, KEY_QUERY_VALUE, &serverKey) != ERROR_SUCCESS) return FALSE;
    error = RegQueryValueExW(serverKey, NULL, NULL, &type, (BYTE *)registered, &size);
    RegCloseKey(serverKey);
    // Longer than any path this module writes, or a value it never writes: someone else's.
    if (error == ERROR_MORE_DATA) return TRUE;
    if (error != ERROR_SUCCESS) return FALSE;
    if (type != REG_SZ && type != REG_EXPAND_SZ) return TRUE;
    registered[size / sizeof(WCHAR)] = L'\0';
    if (type == REG_EXPAND_SZ) {
        WCHAR expanded[KIT_PATH_CHARS];
        DWORD length = ExpandEnvironmentStringsW(registered, expanded, KIT_PATH_CHARS);
        if (length == 0 || length > KIT_PATH_CHARS) return TRUE;
        lstrcpyW(registered, expanded);
    }

    if (!FileIdentity(registered, &theirs)) return FALSE;
    if (!OwnPath(own, KIT_PATH_CHARS) || !FileIdentity(own, &ours)) return FALSE;
    return theirs.dwVolumeSerialNumber != ours.dwVolumeSerialNumber || theirs.nFileIndexHigh != ours.nFileIndexHigh ||
           theirs.nFileIndexLow != ours.nFileIndexLow;
}

STDAPI DllUnregisterServer(void)
{
    WCHAR keyPath[KIT_KEY_CHARS];
    LONG error;

    if (!ClassKeyPath(keyPath)) return SELFREG_E_CLASS;
    if (RegisteredToAnotherFile(keyPath)) return S_OK;
    error = RegDeleteTreeW(HKEY_CLASSES_ROOT, keyPath);
    return error == ERROR_SUCCESS || error == ERROR_FILE_NOT_FOUND ? S_OK : SELFREG_E_CLASS;
}

// The class's object answers IUnknown only.

typedef struct KitObject {
    IUnknown iface;
    LONG references;
} KitObject;

static HRESULT STDMETHODCALLTYPE Object_QueryInterface(IUnknown *self, REFIID iid, void **out)
{
    if (!out) return E_POINTER;
    if (!IsEqualIID(iid, &IID_IUnknown)) {
        *out = NULL;
        return E_NOINTERFACE;
    }
    self->lpVtbl->AddRef(self);
    *out = self;
    return S_OK;
}

static ULONG STDMETHODCALLTYPE Object_AddRef(IUnknown *self)
{
    return (ULONG)InterlockedIncrement(&((KitObject *)self)->references);
}

static ULONG STDMETHODCALLTYPE Object_Release(IUnknown *self)
{
    KitObject *object = (KitObject *)self;
    LONG left = InterlockedDecrement(&object->references);
    if (left == 0) {
        HeapFree(GetProcessHeap(), 0, object);  // allocated in Factory_CreateInstance
        UnlockModule();
    }
    return (ULONG)left;
}

static IUnknownVtbl g_objectVtbl = {Object_QueryInterface, Object_AddRef, Object_Release};

// One static class factory; its references keep the module loaded.

static HRESULT STDMETHODCALLTYPE Factory_QueryInterface(IClassFactory *self, REFIID iid, void **out)
{
    if (!out) return E_POINTER;
    if (!IsEqualIID(iid, &IID_IUnknown) && !IsEqualIID(iid, &IID_IClassFactory)) {
        *out = NULL;
        return E_NOINTERFACE;
    }
    self->lpVtbl->AddRef(self);
    *out = self;
    return S_OK;
}

static ULONG STDMETHODCALLTYPE Factory_AddRef(IClassFactory *self)
{
    (void)self;
    LockModule();
    return 2;
}

static ULONG STDMETHODCALLTYPE Factory_Release(IClassFactory *self)
{
    (void)self;
    UnlockModule();
    return 1;
}

static HRESULT STDMETHODCALLTYPE Factory_CreateInstance(IClassFactory *self, IUnknown *outer, REFIID iid, void **out)
{
    KitObject *object;
    HRESULT result;

    (void)self;
    if (!out) return E_POINTER;
    *out = NULL;
    if (outer) return CLASS_E_NOAGGREGATION;

    object = (KitObject *)HeapAlloc(GetProcessHeap(), 0, sizeof(*object));  // freed in Object_Release
    if (!object) return E_OUTOFMEMORY;
    object->iface.lpVtbl = &g_objectVtbl;
    object->references = 1;
    LockModule();

    result = Object_QueryInterface(&object->iface, iid, out);
    // Gives up the creation reference: the object lives on only if the query succeeded.
    Object_Release(&object->iface);
    return result;
}

static HRESULT STDMETHODCALLTYPE Factory_LockServer(IClassFactory *self, BOOL lock)
{
    (void)self;
    if (lock)
        LockModule();
    else
        UnlockModule();
    return S_OK;
}

static IClassFactoryVtbl g_factoryVtbl = {Factory_QueryInterface, Factory_AddRef, Factory_Release,
                                          Factory_CreateInstance, Factory_LockServer};
static IClassFactory g_factory = {&g_factoryVtbl};

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID *out)
{
    CLSID own;
    if (!out) return E_POINTER;
    *out = NULL;
    if (!ReadOwnClsid(&own) || !IsEqualCLSID(clsid, &own)) return CLASS_E_CLASSNOTAVAILABLE;
    return Factory_QueryInterface(&g_factory, iid, out);
}

STDAPI DllCanUnloadNow(void)
{
    return g_locks == 0 ? S_OK : S_FALSE;
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH) {
        g_module = instance;
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}
