'''NetworkManager mock for Ondrel's tests.

Loads python-dbusmock's stock "networkmanager" template and adds the parts of
NetworkManager's D-Bus API that the Wi-Fi backend relies on, behaving as
NetworkManager 1.42 does (SetVersion announces another version; from 1.46 on
access points have Bandwidth):

- Wi-Fi devices with ActiveAccessPoint, LastScan, Bitrate, RequestScan that
  updates LastScan after a delay (or refuses, or never finishes) and
  Device.Disconnect;
- access points with raw SSID bytes and distinct WpaFlags/RsnFlags;
- saved connections with GetSettings (secrets stripped), GetSecrets, Update,
  Update2, Delete and the Settings signals; secrets whose flags say that an
  agent owns them (or that they are never saved) are not stored, an agent-owned
  one goes to the desktop keyring instead;
- the AgentManager: secret agents register, and are asked (newest first, then
  a simulated desktop keyring agent) when an activation's stored secrets are
  missing or failed; a secret an agent gives for a profile that keeps its own
  secret is written into the profile at once, as NetworkManager does;
- ActivateConnection and AddAndActivateConnection2 (persist disk, memory or
  volatile) that go through the device states on a timer and either activate
  or fail with a device state reason; volatile profiles vanish when their
  activation ends;
- WirelessEnabled that can be written and turns the device unavailable;
- a switch that makes privileged calls fail with PermissionDenied.

Control methods live on org.freedesktop.DBus.Mock at /org/freedesktop.
'''

import ctypes
import sys
import time
import uuid

import dbus

import dbusmock
from dbusmock import MOCK_IFACE
from dbusmock.templates import networkmanager as stock

BUS_NAME = stock.BUS_NAME
MAIN_OBJ = stock.MAIN_OBJ
SYSTEM_BUS = True
IS_OBJECT_MANAGER = True

MANAGER_OBJ = stock.MANAGER_OBJ
MANAGER_IFACE = stock.MANAGER_IFACE
SETTINGS_OBJ = stock.SETTINGS_OBJ
SETTINGS_IFACE = stock.SETTINGS_IFACE
DEVICE_IFACE = stock.DEVICE_IFACE
WIRELESS_IFACE = stock.WIRELESS_DEVICE_IFACE
AP_IFACE = stock.ACCESS_POINT_IFACE
CONNECTION_IFACE = stock.CSETTINGS_IFACE
ACTIVE_IFACE = stock.ACTIVE_CONNECTION_IFACE
PROPERTIES_IFACE = 'org.freedesktop.DBus.Properties'

AGENT_MANAGER_OBJ = '/org/freedesktop/NetworkManager/AgentManager'
AGENT_MANAGER_IFACE = 'org.freedesktop.NetworkManager.AgentManager'
AGENT_OBJ = '/org/freedesktop/NetworkManager/SecretAgent'
AGENT_IFACE = 'org.freedesktop.NetworkManager.SecretAgent'
SECURITY = '802-11-wireless-security'

# Which interface refuses which privileged call, as NetworkManager names it.
_REFUSING = {'Update': SETTINGS_IFACE, 'Delete': SETTINGS_IFACE, 'Register': AGENT_MANAGER_IFACE}
# NMSecretAgentGetSecretsFlags, NMSettingSecretFlags (agent-owned | not saved).
ALLOW_INTERACTION, REQUEST_NEW, USER_REQUESTED = 0x1, 0x2, 0x4
NOT_STORED = 0x3

# Device states and reasons (NMDeviceState, NMDeviceStateReason).
UNAVAILABLE, DISCONNECTED, PREPARE, CONFIG, NEED_AUTH = 20, 30, 40, 50, 60
IP_CONFIG, ACTIVATED, DEACTIVATING, FAILED = 70, 100, 110, 120
REASON_NONE, REASON_NO_SECRETS, REASON_USER_REQUESTED = 0, 7, 39

# Active connection states and reasons (NMActiveConnectionState/StateReason).
AC_ACTIVATING, AC_ACTIVATED, AC_DEACTIVATING, AC_DEACTIVATED = 1, 2, 3, 4
AC_REASON_DEVICE_DISCONNECTED, AC_REASON_NO_SECRETS = 3, 9

# Every @dbus.service.method of the stock template becomes a method of this
# template too (AddWiFiDevice, AddAccessPoint, SetProperty, ...).
for _name in dir(stock):
    _fn = getattr(stock, _name)
    if '_dbus_interface' in dir(_fn) and _name not in globals():
        globals()[_name] = _fn

# ---------------------------------------------------------------- timers

_glib = ctypes.CDLL('libglib-2.0.so.0')
_SOURCE_FUNC = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p)
_glib.g_timeout_add.argtypes = [ctypes.c_uint, _SOURCE_FUNC, ctypes.c_void_p]
_glib.g_timeout_add.restype = ctypes.c_uint
_live_callbacks = {}


def _later(ms, fn):
    '''Runs fn once after ms milliseconds on the mock's main loop.'''
    key = object()

    def fire(_data):
        _live_callbacks.pop(key, None)
        try:
            fn()
        except Exception as e:  # pylint: disable=broad-except
            print('nm_template timer:', repr(e), file=sys.stderr, flush=True)
        return 0

    callback = _SOURCE_FUNC(fire)
    _live_callbacks[key] = callback  # kept alive until it has run
    _glib.g_timeout_add(max(0, int(ms)), callback, None)


def _boottime_ms():
    return dbus.Int64(int(time.clock_gettime(time.CLOCK_BOOTTIME) * 1000))


def _bytes(value):
    return bytes(int(b) for b in value)


def _manager():
    return dbusmock.get_object(MANAGER_OBJ)


def _state():
    '''Mock-wide behaviour switches, kept on the manager object.'''
    return _manager().ondrel


def _deny_if_asked(action):
    time.sleep(_state()['authorization_ms'] / 1000)  # polkit waiting for the user to authenticate
    if action in _state()['denied']:
        raise dbus.exceptions.DBusException('Not authorized to perform this operation',
                                            name=_REFUSING.get(action, MANAGER_IFACE) + '.PermissionDenied')


def _set(obj, iface, name, value):
    obj.Set(iface, name, value)


# ---------------------------------------------------------------- devices


def _set_device_state(dev, new_state, reason):
    old = dev.Get(DEVICE_IFACE, 'State')
    if int(old) == int(new_state):
        return
    dev.Set(DEVICE_IFACE, 'StateReason',
            dbus.Struct((dbus.UInt32(new_state), dbus.UInt32(reason)), signature='uu'))
    dev.Set(DEVICE_IFACE, 'State', dbus.UInt32(new_state))
    dev.EmitSignal(DEVICE_IFACE, 'StateChanged', 'uuu',
                   [dbus.UInt32(new_state), dbus.UInt32(old), dbus.UInt32(reason)])


def _set_ac_state(ac, state, reason):
    ac.Set(ACTIVE_IFACE, 'State', dbus.UInt32(state))
    ac.EmitSignal(ACTIVE_IFACE, 'StateChanged', 'uu', [dbus.UInt32(state), dbus.UInt32(reason)])


def _remove_active(dev_path, ac_path):
    nm = _manager()
    dev = dbusmock.get_object(dev_path)
    if str(dev.Get(DEVICE_IFACE, 'ActiveConnection')) == ac_path:
        dev.Set(DEVICE_IFACE, 'ActiveConnection', dbus.ObjectPath('/'))
        dev.Set(WIRELESS_IFACE, 'ActiveAccessPoint', dbus.ObjectPath('/'))
    actives = [p for p in nm.Get(MANAGER_IFACE, 'ActiveConnections') if str(p) != ac_path]
    nm.Set(MANAGER_IFACE, 'ActiveConnections', dbus.Array(actives, signature='o'))
    if ac_path in dbusmock.mockobject.objects:
        conn_path = str(dbusmock.get_object(ac_path).Get(ACTIVE_IFACE, 'Connection'))
        nm.object_manager_emit_removed(ac_path)
        nm.RemoveObject(ac_path)
        if conn_path in dbusmock.mockobject.objects and dbusmock.get_object(conn_path).volatile:
            _delete_connection(conn_path)


def _deactivate_device(dev_path, reason):
    '''Takes the device's current activation down (used by Disconnect, radio off and a new join).'''
    dev = dbusmock.get_object(dev_path)
    ac_path = str(dev.Get(DEVICE_IFACE, 'ActiveConnection'))
    if ac_path == '/':
        return
    _state()['generation'][dev_path] = _state()['generation'].get(dev_path, 0) + 1
    ac = dbusmock.get_object(ac_path) if ac_path in dbusmock.mockobject.objects else None
    if ac is not None:
        _set_ac_state(ac, AC_DEACTIVATING, AC_REASON_DEVICE_DISCONNECTED)
    _set_device_state(dev, DEACTIVATING, reason)
    if ac is not None:
        _set_ac_state(ac, AC_DEACTIVATED, AC_REASON_DEVICE_DISCONNECTED)
    _remove_active(dev_path, ac_path)
    _set_device_state(dev, DISCONNECTED, reason)


def _device_disconnect(self):
    _deny_if_asked('Disconnect')
    if str(self.Get(DEVICE_IFACE, 'ActiveConnection')) == '/':
        raise dbus.exceptions.DBusException('This device is not active',
                                            name='org.freedesktop.NetworkManager.Device.NotActive')
    _deactivate_device(self.path, REASON_USER_REQUESTED)


def _request_scan(self, _options):
    st = _state()
    mode = st['scan_mode']
    if mode == 'refuse' or self.path in st['scanning']:
        raise dbus.exceptions.DBusException('Scanning not allowed while already scanning',
                                            name='org.freedesktop.NetworkManager.Device.NotAllowed')
    if not bool(_manager().Get(MANAGER_IFACE, 'WirelessEnabled')):
        raise dbus.exceptions.DBusException('Scanning not allowed while unavailable',
                                            name='org.freedesktop.NetworkManager.Device.NotAllowed')
    st['scan_requests'] += 1
    if mode == 'never':
        return
    st['scanning'].add(self.path)
    path = self.path

    def finish():
        st['scanning'].discard(path)
        if path in dbusmock.mockobject.objects:
            dbusmock.get_object(path).Set(WIRELESS_IFACE, 'LastScan', _boottime_ms())
    _later(st['scan_ms'], finish)


@dbus.service.method(MOCK_IFACE, in_signature='ss', out_signature='s')
def AddWirelessDevice(self, device_name, iface_name):
    '''Adds a disconnected Wi-Fi device with the properties and methods NetworkManager has.'''
    path = self.AddWiFiDevice(device_name, iface_name, DISCONNECTED)
    dev = dbusmock.get_object(path)
    dev.AddProperty(WIRELESS_IFACE, 'ActiveAccessPoint', dbus.ObjectPath('/'))
    dev.AddProperty(WIRELESS_IFACE, 'LastScan', _boottime_ms())
    dev.props[WIRELESS_IFACE]['Bitrate'] = dbus.UInt32(0)
    dev.AddMethod(WIRELESS_IFACE, 'RequestScan', 'a{sv}', '', _request_scan)
    dev.AddMethod(DEVICE_IFACE, 'Disconnect', '', '', _device_disconnect)
    return path


@dbus.service.method(MOCK_IFACE, in_signature='s', out_signature='')
def RemoveDevice(self, dev_path):
    '''Removes a device as NetworkManager does when the hardware goes away.'''
    nm = _manager()
    _deactivate_device(dev_path, 36)  # removed
    devices = [p for p in nm.Get(MANAGER_IFACE, 'Devices') if str(p) != dev_path]
    nm.Set(MANAGER_IFACE, 'Devices', dbus.Array(devices, signature='o'))
    nm.EmitSignal(MANAGER_IFACE, 'DeviceRemoved', 'o', [dbus.ObjectPath(dev_path)])
    self.object_manager_emit_removed(dev_path)
    self.RemoveObject(dev_path)


# ---------------------------------------------------------------- access points


def _ap_props(ssid, bssid, frequency, strength, flags, wpa, rsn, bandwidth, max_bitrate):
    props = {
        'Ssid': dbus.Array([dbus.Byte(b) for b in ssid], signature='y'),
        'HwAddress': dbus.String(bssid),
        'Flags': dbus.UInt32(flags),
        'WpaFlags': dbus.UInt32(wpa),
        'RsnFlags': dbus.UInt32(rsn),
        'Frequency': dbus.UInt32(frequency),
        'Strength': dbus.Byte(strength),
        'Bandwidth': dbus.UInt32(bandwidth),
        'MaxBitrate': dbus.UInt32(max_bitrate),
        'Mode': dbus.UInt32(2),
        'LastSeen': dbus.Int32(int(time.clock_gettime(time.CLOCK_BOOTTIME))),
    }
    if _state()['version'] < (1, 46):
        del props['Bandwidth']  # NetworkManager has it since 1.46
    return props


def _add_ap(self, dev, ap_name, props):
    ap_path = '/org/freedesktop/NetworkManager/AccessPoint/' + ap_name
    if ap_path in dbusmock.mockobject.objects:
        raise dbus.exceptions.DBusException(f'access point {ap_name} exists',
                                            name=MANAGER_IFACE + '.AlreadyExists')
    self.AddObject(ap_path, AP_IFACE, props, [])
    self.object_manager_emit_added(ap_path)
    dev.access_points.append(ap_path)
    return ap_path


@dbus.service.method(MOCK_IFACE, in_signature='ssaysuyuuuuu', out_signature='s')
def AddAccessPoint2(self, dev_path, ap_name, ssid, bssid, frequency, strength,
                    flags, wpa_flags, rsn_flags, bandwidth, max_bitrate):
    '''Adds an access point with raw SSID bytes and separate WPA and RSN flags.'''
    dev = dbusmock.get_object(dev_path)
    ap_path = _add_ap(self, dev, ap_name, _ap_props(_bytes(ssid), bssid, frequency, strength,
                                                   flags, wpa_flags, rsn_flags, bandwidth, max_bitrate))
    dev.Set(WIRELESS_IFACE, 'AccessPoints', dbus.Array(dev.access_points, signature='o'))
    dev.EmitSignal(WIRELESS_IFACE, 'AccessPointAdded', 'o', [dbus.ObjectPath(ap_path)])
    return ap_path


@dbus.service.method(MOCK_IFACE, in_signature='su', out_signature='')
def AddManyAccessPoints(self, dev_path, count):
    '''Adds count access points of varied names, bands and securities at once.'''
    dev = dbusmock.get_object(dev_path)
    securities = [(0, 0, 0), (1, 0, 0), (1, 0x14c, 0), (1, 0, 0x18c), (1, 0, 0x588),
                  (1, 0, 0x488), (1, 0, 0x288), (0, 0, 0x800)]
    frequencies = [2412, 2437, 2462, 5180, 5500, 5745, 5955, 6115]
    for i in range(count):
        flags, wpa, rsn = securities[i % len(securities)]
        ssid = (f'Network {i // 3}' if i % 11 else '').encode()
        bssid = f'02:00:{(i >> 16) & 255:02X}:{(i >> 8) & 255:02X}:{i & 255:02X}:01'
        _add_ap(self, dev, f'bulk{i}', _ap_props(ssid, bssid, frequencies[i % len(frequencies)],
                                                 (i * 7) % 101, flags, wpa, rsn, 20 << (i % 4), 54000))
    dev.Set(WIRELESS_IFACE, 'AccessPoints', dbus.Array(dev.access_points, signature='o'))


@dbus.service.method(MOCK_IFACE, in_signature='ss', out_signature='')
def RemoveAccessPoint2(self, dev_path, ap_path):
    '''Removes an access point from the device's list.'''
    dev = dbusmock.get_object(dev_path)
    dev.access_points.remove(ap_path)
    dev.Set(WIRELESS_IFACE, 'AccessPoints', dbus.Array(dev.access_points, signature='o'))
    dev.EmitSignal(WIRELESS_IFACE, 'AccessPointRemoved', 'o', [dbus.ObjectPath(ap_path)])
    self.object_manager_emit_removed(ap_path)
    self.RemoveObject(ap_path)


# ---------------------------------------------------------------- saved connections

_SECRET_KEYS = ('psk', 'wep-key0', 'wep-key1', 'wep-key2', 'wep-key3', 'password')


def _secret_flags(settings):
    sec = settings.get(SECURITY, {})
    return int(sec.get('wep-key-flags' if str(sec.get('key-mgmt', '')) == 'none' else 'psk-flags', 0))


def _store(conn, settings):
    '''Stores settings as NetworkManager does: secrets that an agent owns (or that are never
    saved) are dropped, and an agent-owned one is handed to the desktop keyring.'''
    settings = _copy_settings(settings)
    sec = settings.get(SECURITY, {})
    flags = _secret_flags(settings)
    if flags & NOT_STORED:
        for key in _SECRET_KEYS:
            secret = sec.pop(key, None)
            if secret is not None and flags & 1:
                _state()['keyring'][str(settings['connection']['uuid'])] = str(secret)
    conn.settings = settings


def _conn_get_settings(self):
    out = dbus.Dictionary({}, signature='sa{sv}')
    for group, values in self.settings.items():
        kept = {k: v for k, v in values.items() if k not in _SECRET_KEYS}
        out[group] = dbus.Dictionary(kept, signature='sv')
    return out


def _conn_get_secrets(self, setting_name):
    '''The stored secrets of a setting; without any, those the agents give.'''
    _deny_if_asked('Update')
    values = self.settings.get(str(setting_name), {})
    kept = {k: v for k, v in values.items() if k in _SECRET_KEYS}
    if not kept and str(setting_name) == SECURITY:
        kept = _ask_agents(self, USER_REQUESTED)
    return dbus.Dictionary({str(setting_name): dbus.Dictionary(kept, signature='sv')}, signature='sa{sv}')


def _updated(conn, in_memory):
    conn.Set(CONNECTION_IFACE, 'Unsaved', dbus.Boolean(in_memory))
    conn.Set(CONNECTION_IFACE, 'Flags', dbus.UInt32((1 if in_memory else 0) | (4 if conn.volatile else 0)))
    conn.EmitSignal(CONNECTION_IFACE, 'Updated', '', [])


def _conn_update(self, settings):
    _deny_if_asked('Update')
    _store(self, settings)
    _updated(self, False)


def _conn_update2(self, settings, flags, args):
    '''Update2: empty settings keep the current ones; to-disk (0x1) makes the profile persistent
    (and no longer volatile), in-memory (0x2) keeps it in memory only.'''
    _deny_if_asked('Update')
    flags = int(flags)
    if flags & ~(0x1 | 0x2 | 0x4 | 0x8 | 0x10 | 0x20 | 0x40) or len(args):
        raise dbus.exceptions.DBusException('Unknown flags', name=SETTINGS_IFACE + '.InvalidArguments')
    if len(settings):
        _store(self, settings)
    if flags & 0x1:
        self.volatile = False
    _updated(self, bool(flags & 0xe) or (not flags & 0x1 and bool(self.Get(CONNECTION_IFACE, 'Unsaved'))))
    return dbus.Dictionary({}, signature='sv')


def _delete_connection(path):
    nm = _manager()
    conn = dbusmock.get_object(path)
    settings_obj = dbusmock.get_object(SETTINGS_OBJ)
    conns = [p for p in settings_obj.Get(SETTINGS_IFACE, 'Connections') if str(p) != path]
    settings_obj.Set(SETTINGS_IFACE, 'Connections', dbus.Array(conns, signature='o'))
    settings_obj.EmitSignal(SETTINGS_IFACE, 'ConnectionRemoved', 'o', [dbus.ObjectPath(path)])
    conn.EmitSignal(CONNECTION_IFACE, 'Removed', '', [])
    nm.object_manager_emit_removed(path)
    nm.RemoveObject(path)


def _conn_delete(self):
    _deny_if_asked('Delete')
    path = self.path
    for dev_path in list(_manager().Get(MANAGER_IFACE, 'Devices')):
        dev = dbusmock.get_object(dev_path)
        ac_path = str(dev.Get(DEVICE_IFACE, 'ActiveConnection'))
        if ac_path != '/' and ac_path in dbusmock.mockobject.objects and \
                str(dbusmock.get_object(ac_path).Get(ACTIVE_IFACE, 'Connection')) == path:
            _deactivate_device(str(dev_path), 38)  # connection removed
    if path in dbusmock.mockobject.objects:
        _delete_connection(path)


def _copy_settings(settings):
    return {str(g): {str(k): v for k, v in values.items()} for g, values in settings.items()}


def _add_connection(settings, persist):
    nm = _manager()
    settings = _copy_settings(settings)
    settings.setdefault('connection', {})
    if 'uuid' not in settings['connection']:
        settings['connection']['uuid'] = dbus.String(str(uuid.uuid4()))
    st = _state()
    st['next_connection'] += 1
    path = f'{SETTINGS_OBJ}/{st["next_connection"]}'
    nm.AddObject(path, CONNECTION_IFACE, {'Unsaved': dbus.Boolean(False), 'Flags': dbus.UInt32(0),
                                          'Filename': dbus.String('')}, [])
    conn = dbusmock.get_object(path)
    conn.volatile = persist == 'volatile'
    _store(conn, settings)
    conn.Set(CONNECTION_IFACE, 'Unsaved', dbus.Boolean(persist != 'disk'))
    conn.Set(CONNECTION_IFACE, 'Flags', dbus.UInt32((1 if persist != 'disk' else 0) | (4 if conn.volatile else 0)))
    conn.AddMethod(CONNECTION_IFACE, 'GetSettings', '', 'a{sa{sv}}', _conn_get_settings)
    conn.AddMethod(CONNECTION_IFACE, 'GetSecrets', 's', 'a{sa{sv}}', _conn_get_secrets)
    conn.AddMethod(CONNECTION_IFACE, 'Update', 'a{sa{sv}}', '', _conn_update)
    conn.AddMethod(CONNECTION_IFACE, 'Update2', 'a{sa{sv}}ua{sv}', 'a{sv}', _conn_update2)
    conn.AddMethod(CONNECTION_IFACE, 'Delete', '', '', _conn_delete)
    nm.object_manager_emit_added(path)
    settings_obj = dbusmock.get_object(SETTINGS_OBJ)
    conns = list(settings_obj.Get(SETTINGS_IFACE, 'Connections')) + [dbus.ObjectPath(path)]
    settings_obj.Set(SETTINGS_IFACE, 'Connections', dbus.Array(conns, signature='o'))
    settings_obj.EmitSignal(SETTINGS_IFACE, 'NewConnection', 'o', [dbus.ObjectPath(path)])
    return path


@dbus.service.method(MOCK_IFACE, in_signature='saysssa{sv}', out_signature='s')
def AddSavedWifi(self, conn_id, ssid, key_mgmt, secret, conn_type, extra):
    '''Adds a saved connection. key_mgmt '' for an open network; conn_type is normally
    '802-11-wireless' (other types let tests check that they are ignored). extra: "mode"
    ('' leaves it out), "secret-flags", "timestamp".'''
    settings = {
        'connection': {'id': dbus.String(conn_id), 'type': dbus.String(conn_type),
                       'uuid': dbus.String(str(uuid.uuid4())),
                       'timestamp': dbus.UInt64(int(extra.get('timestamp', 0)))},
    }
    if conn_type == '802-11-wireless':
        settings['802-11-wireless'] = {'ssid': dbus.Array([dbus.Byte(b) for b in _bytes(ssid)], signature='y'),
                                       'seen-bssids': dbus.Array(['02:00:00:00:10:04'], signature='s')}
        mode = str(extra.get('mode', 'infrastructure'))
        if mode:
            settings['802-11-wireless']['mode'] = dbus.String(mode)
        # Nested values as a real profile has them, which an Update must carry over unchanged.
        settings['ipv4'] = {'method': dbus.String('manual'),
                            'dns': dbus.Array([dbus.UInt32(0x08080808)], signature='u'),
                            'address-data': dbus.Array([dbus.Dictionary({'address': dbus.String('192.168.7.2'),
                                                                         'prefix': dbus.UInt32(24)}, signature='sv')],
                                                       signature='a{sv}')}
    if key_mgmt:
        sec = {'key-mgmt': dbus.String(key_mgmt)}
        sec['wep-key-flags' if key_mgmt == 'none' else 'psk-flags'] = dbus.UInt32(int(extra.get('secret-flags', 0)))
        if secret:
            sec['wep-key0' if key_mgmt == 'none' else 'psk'] = dbus.String(secret)
        settings[SECURITY] = sec
    return _add_connection(settings, 'disk')


@dbus.service.method(MOCK_IFACE, in_signature='sss', out_signature='v')
def ConnectionSetting(self, path, group, key):
    '''One value of a connection's settings, as stored (secrets included).'''
    return dbusmock.get_object(path).settings[str(group)][str(key)]


@dbus.service.method(MOCK_IFACE, in_signature='s', out_signature='a{sv}')
def ConnectionSecrets(self, path):
    '''The stored secrets of a connection, for tests to check what was written.'''
    conn = dbusmock.get_object(path)
    out = {}
    for values in conn.settings.values():
        for k, v in values.items():
            if k in _SECRET_KEYS:
                out[k] = v
    out['unsaved'] = dbus.Boolean(bool(conn.Get(CONNECTION_IFACE, 'Unsaved')))
    out['volatile'] = dbus.Boolean(conn.volatile)
    out['key-mgmt'] = dbus.String(conn.settings.get(SECURITY, {}).get('key-mgmt', ''))
    keyring = _state()['keyring'].get(str(conn.settings['connection']['uuid']))
    if keyring is not None:
        out['keyring'] = dbus.String(keyring)
    return dbus.Dictionary(out, signature='sv')


# ---------------------------------------------------------------- activation


@dbus.service.method(MOCK_IFACE, in_signature='ayssu', out_signature='')
def SetNetworkBehaviour(self, ssid, secret, outcome, reason):
    '''How a join of the network named ssid ends. outcome: 'secret' (activates when the
    connection's secret equals secret, otherwise fails with reason, 7 when reason is 0),
    'fail' (always fails with reason), 'stall' (never leaves the config state).'''
    _state()['networks'][_bytes(ssid)] = (str(secret), str(outcome), int(reason))


@dbus.service.method(MOCK_IFACE, in_signature='i', out_signature='')
def SetActivationStepMs(self, ms):
    '''Delay between two device states of an activation; negative runs every state
    change inside the activation call, before its reply.'''
    _state()['step_ms'] = int(ms)


@dbus.service.method(MOCK_IFACE, in_signature='s', out_signature='')
def SetVersion(self, version):
    '''Announces another NetworkManager version; access points added afterwards have what it has.'''
    _state()['version'] = tuple(int(n) for n in str(version).split('.')[:2])
    _manager().Set(MANAGER_IFACE, 'Version', dbus.String(version))


@dbus.service.method(MOCK_IFACE, in_signature='si', out_signature='')
def SetScanBehaviour(self, mode, ms):
    '''RequestScan: 'normal' (LastScan changes after ms), 'refuse' (NotAllowed), 'never'.'''
    _state()['scan_mode'] = str(mode)
    _state()['scan_ms'] = int(ms)


@dbus.service.method(MOCK_IFACE, in_signature='as', out_signature='')
def SetDenied(self, actions):
    '''Privileged calls that fail with PermissionDenied: any of 'Activate', 'Disconnect',
    'Update', 'Delete', 'WirelessEnabled', 'Register' (of a secret agent).'''
    _state()['denied'] = set(str(a) for a in actions)


@dbus.service.method(MOCK_IFACE, in_signature='i', out_signature='')
def SetAuthorizationMs(self, ms):
    '''Privileged calls answer only after this long, as while the user authenticates.'''
    _state()['authorization_ms'] = int(ms)


@dbus.service.method(MOCK_IFACE, in_signature='', out_signature='a{sv}')
def Counters(self):
    '''Call counts the tests look at.'''
    st = _state()
    return dbus.Dictionary({k: dbus.UInt32(st[k]) for k in ('scan_requests', 'activations', 'agent_requests',
                                                             'keyring_prompts')}, signature='sv')


# ---------------------------------------------------------------- secret agents


class _AgentManager(dbus.service.Object):
    '''org.freedesktop.NetworkManager.AgentManager: one agent per identifier, dropped when it
    unregisters or leaves the bus.'''

    interface = AGENT_MANAGER_IFACE
    methods = {}  # none added at run time: dbusmock's method lookup then falls back to the class's

    def __init__(self, bus_name):
        super().__init__(bus_name, AGENT_MANAGER_OBJ)
        self.agents = []  # (sender, identifier), oldest first

    @dbus.service.method(AGENT_MANAGER_IFACE, in_signature='su', sender_keyword='sender')
    def RegisterWithCapabilities(self, identifier, _capabilities, sender=None):
        _deny_if_asked('Register')
        if any(i == identifier for _, i in self.agents):
            raise dbus.exceptions.DBusException('An agent with this ID is already registered for this user.',
                                                name=AGENT_MANAGER_IFACE + '.PermissionDenied')
        self.agents.append((str(sender), str(identifier)))

        def gone(owner):
            if not owner:
                self.Unregister(sender=sender)
        self.connection.watch_name_owner(sender, gone)

    @dbus.service.method(AGENT_MANAGER_IFACE, in_signature='', sender_keyword='sender')
    def Unregister(self, sender=None):
        self.agents = [a for a in self.agents if a[0] != sender]


def _ask_agents(conn, flags):
    '''The secrets of the connection's security setting as NetworkManager gets them from its
    agents: the registered ones, newest first, then the desktop keyring agent. An agent without
    secrets passes the request on; one that cancels ends it.'''
    st = _state()
    manager = st['agent_manager']
    settings = _conn_get_settings(conn)
    for sender, _ in reversed(manager.agents):
        st['agent_requests'] += 1
        try:
            secrets = manager.connection.call_blocking(
                sender, AGENT_OBJ, AGENT_IFACE, 'GetSecrets', 'a{sa{sv}}osasu',
                (settings, dbus.ObjectPath(conn.path), SECURITY, dbus.Array([], signature='s'), dbus.UInt32(flags)),
                timeout=5)
            if len(secrets.get(SECURITY, {})):
                return {str(k): v for k, v in secrets[SECURITY].items()}
        except dbus.exceptions.DBusException as e:
            if e.get_dbus_name() == AGENT_IFACE + '.UserCanceled':
                raise dbus.exceptions.DBusException('User canceled the secrets request.',
                                                    name=AGENT_MANAGER_IFACE + '.UserCanceled') from e
    keyring = st['keyring'].get(str(conn.settings['connection']['uuid']))
    if keyring is not None:
        if flags & REQUEST_NEW:
            st['keyring_prompts'] += 1  # the desktop would ask the user; here the user cancels
            raise dbus.exceptions.DBusException('User canceled the secrets request.',
                                                name=AGENT_MANAGER_IFACE + '.UserCanceled')
        key = 'wep-key0' if str(conn.settings[SECURITY].get('key-mgmt')) == 'none' else 'psk'
        return {key: dbus.String(keyring)}
    raise dbus.exceptions.DBusException('No agents were available for this request.',
                                        name=AGENT_MANAGER_IFACE + '.NoSecrets')


def _secret_for_activation(conn, flags):
    '''The secret an activation tries: the stored one, or what the agents give. A secret an agent
    gives for a profile that keeps its own is written into the profile at once (before the
    activation has worked), as NetworkManager does.'''
    sec = conn.settings.get(SECURITY, {})
    if not flags & REQUEST_NEW:
        for key in ('psk', 'wep-key0'):
            if key in sec:
                return str(sec[key])
    given = _ask_agents(conn, flags)
    if not _secret_flags(conn.settings) & NOT_STORED:
        conn.settings[SECURITY].update(given)
        _updated(conn, bool(conn.Get(CONNECTION_IFACE, 'Unsaved')))
    return str(next(iter(given.values()), ''))


def _find_ap(dev, ssid):
    for ap_path in dev.access_points:
        if _bytes(dbusmock.get_object(ap_path).Get(AP_IFACE, 'Ssid')) == ssid:
            return ap_path
    return None


def _start_activation(conn_path, dev_path, specific):
    nm = _manager()
    st = _state()
    st['activations'] += 1
    conn = dbusmock.get_object(conn_path)
    dev = dbusmock.get_object(dev_path)
    ssid = _bytes(conn.settings.get('802-11-wireless', {}).get('ssid', []))
    ap_path = specific if specific != '/' and specific in dev.access_points else _find_ap(dev, ssid)

    _deactivate_device(dev_path, REASON_NONE)
    st['generation'][dev_path] = st['generation'].get(dev_path, 0) + 1
    generation = st['generation'][dev_path]

    st['next_active'] += 1
    ac_path = f'/org/freedesktop/NetworkManager/ActiveConnection/{st["next_active"]}'
    nm.AddObject(ac_path, ACTIVE_IFACE, {
        'Connection': dbus.ObjectPath(conn_path),
        'SpecificObject': dbus.ObjectPath(ap_path or '/'),
        'Id': dbus.String(conn.settings['connection'].get('id', '')),
        'Uuid': dbus.String(conn.settings['connection'].get('uuid', '')),
        'Type': dbus.String('802-11-wireless'),
        'Devices': dbus.Array([dbus.ObjectPath(dev_path)], signature='o'),
        'State': dbus.UInt32(AC_ACTIVATING),
        'StateFlags': dbus.UInt32(0),
        'Default': False, 'Default6': False, 'Vpn': False,
        'Master': dbus.ObjectPath('/'),
    }, [])
    nm.object_manager_emit_added(ac_path)
    actives = list(nm.Get(MANAGER_IFACE, 'ActiveConnections')) + [dbus.ObjectPath(ac_path)]
    nm.Set(MANAGER_IFACE, 'ActiveConnections', dbus.Array(actives, signature='o'))
    dev.Set(DEVICE_IFACE, 'ActiveConnection', dbus.ObjectPath(ac_path))

    secret, outcome, reason = st['networks'].get(ssid, ('', 'secret', 0))
    if ap_path is None:
        outcome, reason = 'fail', 53  # SSID not found
    steps = [(PREPARE, 0), (CONFIG, 0)]
    if outcome == 'fail':
        steps += [(NEED_AUTH, 0), (FAILED, reason)]

    def authenticate():
        '''Tries the stored secret, else what the agents give; after a wrong one asks them for a
        new one, up to NetworkManager's three tries.'''
        if str(conn.settings.get(SECURITY, {}).get('key-mgmt', '')) not in ('wpa-psk', 'sae', 'none'):
            return True
        flags = ALLOW_INTERACTION
        for _ in range(3):
            try:
                if _secret_for_activation(conn, flags) == secret:
                    return True
            except dbus.exceptions.DBusException:
                return False
            flags |= REQUEST_NEW
        return False

    def after_config():
        if outcome != 'secret':
            return
        if authenticate():
            steps.extend([(IP_CONFIG, 0), (ACTIVATED, 0)])
        else:
            steps.extend([(NEED_AUTH, 0), (FAILED, reason or REASON_NO_SECRETS)])

    def run(index):
        if st['generation'].get(dev_path) != generation or ac_path not in dbusmock.mockobject.objects:
            return  # superseded by another activation or a disconnect
        state, why = steps[index]
        ac = dbusmock.get_object(ac_path)
        if state == ACTIVATED:
            dev.Set(WIRELESS_IFACE, 'ActiveAccessPoint', dbus.ObjectPath(ap_path))
            dev.Set(WIRELESS_IFACE, 'Bitrate', dbus.UInt32(dbusmock.get_object(ap_path).Get(AP_IFACE, 'MaxBitrate')))
            _set_device_state(dev, ACTIVATED, 0)
            _set_ac_state(ac, AC_ACTIVATED, 1)
        elif state == FAILED:
            _set_device_state(dev, FAILED, why)
            _set_ac_state(ac, AC_DEACTIVATED, AC_REASON_NO_SECRETS if why == REASON_NO_SECRETS else 1)
            _remove_active(dev_path, ac_path)
            _set_device_state(dev, DISCONNECTED, why)
        else:
            _set_device_state(dev, state, why)
        if state == CONFIG:
            after_config()
        if index + 1 < len(steps) and ac_path in dbusmock.mockobject.objects:
            schedule(index + 1)

    def schedule(index):
        if st['step_ms'] < 0:
            run(index)
        else:
            _later(st['step_ms'], lambda: run(index))

    schedule(0)
    return ac_path


def _check_device(dev_path):
    if dev_path not in dbusmock.mockobject.objects:
        raise dbus.exceptions.DBusException('device not found',
                                            name='org.freedesktop.NetworkManager.UnknownDevice')
    if not bool(_manager().Get(MANAGER_IFACE, 'WirelessEnabled')):
        raise dbus.exceptions.DBusException('Device not available',
                                            name='org.freedesktop.NetworkManager.UnknownDevice')


def _activate_connection(self, conn_path, dev_path, specific):
    _deny_if_asked('Activate')
    conn_path, dev_path, specific = str(conn_path), str(dev_path), str(specific)
    if conn_path not in dbusmock.mockobject.objects:
        raise dbus.exceptions.DBusException('Connection not found',
                                            name='org.freedesktop.NetworkManager.UnknownConnection')
    _check_device(dev_path)
    return dbus.ObjectPath(_start_activation(conn_path, dev_path, specific))


def _add_and_activate2(self, settings, dev_path, specific, options):
    _deny_if_asked('Activate')
    dev_path, specific = str(dev_path), str(specific)
    _check_device(dev_path)
    persist = str(options.get('persist', 'disk'))
    if set(options) - {'persist'} or persist not in ('disk', 'memory', 'volatile'):
        raise dbus.exceptions.DBusException('Unknown extra option passed',
                                            name=MANAGER_IFACE + '.InvalidArguments')
    settings = _copy_settings(settings)
    dev = dbusmock.get_object(dev_path)
    wifi = settings.setdefault('802-11-wireless', {})
    if 'ssid' not in wifi:
        if specific == '/' or specific not in dev.access_points:
            raise dbus.exceptions.DBusException('A SSID is required',
                                                name='org.freedesktop.NetworkManager.Settings.Connection.InvalidProperty')
        wifi['ssid'] = dbusmock.get_object(specific).Get(AP_IFACE, 'Ssid')
    if len(wifi['ssid']) == 0:
        raise dbus.exceptions.DBusException('802-11-wireless.ssid: property is missing',
                                            name='org.freedesktop.NetworkManager.Settings.Connection.MissingProperty')
    conn = settings.setdefault('connection', {})
    conn.setdefault('type', dbus.String('802-11-wireless'))
    conn.setdefault('id', dbus.String(_bytes(wifi['ssid']).decode('utf-8', 'replace')))
    conn_path = _add_connection(settings, persist)
    ac_path = _start_activation(conn_path, dev_path, specific)
    return (dbus.ObjectPath(conn_path), dbus.ObjectPath(ac_path), dbus.Dictionary({}, signature='sv'))


def _deactivate_connection(self, ac_path):
    _deny_if_asked('Disconnect')
    ac_path = str(ac_path)
    if ac_path not in dbusmock.mockobject.objects:
        raise dbus.exceptions.DBusException('The connection was not active',
                                            name='org.freedesktop.NetworkManager.ConnectionNotActive')
    for dev_path in dbusmock.get_object(ac_path).Get(ACTIVE_IFACE, 'Devices'):
        _deactivate_device(str(dev_path), REASON_USER_REQUESTED)


def _properties_set(self, iface, name, value):
    '''Properties.Set on the manager: WirelessEnabled is privileged and turns the radio off.'''
    if str(iface) == MANAGER_IFACE and str(name) == 'WirelessEnabled':
        _deny_if_asked('WirelessEnabled')
        on = bool(value)
        dbusmock.mockobject.DBusMockObject.Set(self, iface, name, dbus.Boolean(on))
        for dev_path in list(self.Get(MANAGER_IFACE, 'Devices')):
            dev = dbusmock.get_object(dev_path)
            if int(dev.Get(DEVICE_IFACE, 'DeviceType')) != 2:
                continue
            if on:
                _set_device_state(dev, DISCONNECTED, REASON_NONE)
            else:
                _deactivate_device(str(dev_path), REASON_NONE)
                _set_device_state(dev, UNAVAILABLE, REASON_NONE)
        return
    dbusmock.mockobject.DBusMockObject.Set(self, iface, name, value)


def load(mock, parameters):
    stock.load(mock, parameters)
    nm = _manager()
    nm.ondrel = {
        'networks': {}, 'denied': set(), 'step_ms': int(parameters.get('ActivationStepMs', 30)),
        'scan_mode': 'normal', 'scan_ms': int(parameters.get('ScanMs', 100)), 'scanning': set(),
        'scan_requests': 0, 'activations': 0, 'next_connection': 0, 'next_active': 0,
        'generation': {}, 'keyring': {}, 'agent_requests': 0, 'keyring_prompts': 0, 'authorization_ms': 0,
    }
    nm.ondrel['agent_manager'] = _AgentManager(nm.bus_name)
    SetVersion(nm, '1.42.4')
    nm.AddMethod(MANAGER_IFACE, 'ActivateConnection', 'ooo', 'o', _activate_connection)
    nm.AddMethod(MANAGER_IFACE, 'AddAndActivateConnection2', 'a{sa{sv}}ooa{sv}', 'ooa{sv}', _add_and_activate2)
    nm.AddMethod(MANAGER_IFACE, 'DeactivateConnection', 'o', '', _deactivate_connection)
    nm.AddMethod(PROPERTIES_IFACE, 'Set', 'ssv', '', _properties_set)
