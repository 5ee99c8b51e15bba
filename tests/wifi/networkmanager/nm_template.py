'''python-dbusmock's "networkmanager" template plus what the Wi-Fi backend relies on, as NetworkManager 1.42 does
it: scans, raw SSIDs, saved profiles, secret agents and a keyring, activations stepping on a timer, refusals.
Control methods are on org.freedesktop.DBus.Mock.'''

import time
import uuid

import dbus
from gi.repository import GLib

import dbusmock
from dbusmock import MOCK_IFACE
from dbusmock.templates import networkmanager as stock
from dbusmock.templates.networkmanager import AddWiFiDevice, SetProperty  # noqa: F401 (control methods)

BUS_NAME, MAIN_OBJ, SYSTEM_BUS, IS_OBJECT_MANAGER = stock.BUS_NAME, stock.MAIN_OBJ, True, True
MANAGER_OBJ, MANAGER_IFACE = stock.MANAGER_OBJ, stock.MANAGER_IFACE
SETTINGS_OBJ, SETTINGS_IFACE = stock.SETTINGS_OBJ, stock.SETTINGS_IFACE
DEVICE_IFACE, WIRELESS_IFACE = stock.DEVICE_IFACE, stock.WIRELESS_DEVICE_IFACE
AP_IFACE, CONNECTION_IFACE, ACTIVE_IFACE = stock.ACCESS_POINT_IFACE, stock.CSETTINGS_IFACE, stock.ACTIVE_CONNECTION_IFACE
AGENT_MANAGER_IFACE = 'org.freedesktop.NetworkManager.AgentManager'
AGENT_IFACE = 'org.freedesktop.NetworkManager.SecretAgent'
SECURITY = '802-11-wireless-security'
SECRET_KEYS = ('psk', 'wep-key0', 'wep-key1', 'wep-key2', 'wep-key3', 'password')

ALLOW_INTERACTION, REQUEST_NEW = 0x1, 0x2  # NMSecretAgentGetSecretsFlags
NOT_STORED = 0x3  # NMSettingSecretFlags: agent-owned | not saved
# NMDeviceState, NMDeviceStateReason, NMActiveConnectionState
DISCONNECTED, PREPARE, CONFIG, NEED_AUTH, IP_CONFIG, ACTIVATED, FAILED = 30, 40, 50, 60, 70, 100, 120
REASON_NONE, REASON_NO_SECRETS, REASON_USER_REQUESTED = 0, 7, 39
AC_ACTIVATING, AC_ACTIVATED, AC_DEACTIVATED = 1, 2, 4

def _later(ms, fn):
    '''Runs fn once after ms milliseconds on the mock's main loop, unless the mock was reset meanwhile.'''
    state = _st()
    GLib.timeout_add(max(0, int(ms)), lambda: (_st() is state and fn()) and False)

def _fail(name, text):
    raise dbus.exceptions.DBusException(text, name=name)

_obj = dbusmock.get_object

def _exists(path):
    return path in dbusmock.mockobject.objects

def _bytes(value):
    return bytes(int(b) for b in value)

def _st():
    return _obj(MANAGER_OBJ).ondrel

def _paths(obj, iface, name, add=None, drop=None):
    paths = [str(p) for p in obj.Get(iface, name) if str(p) != drop] + ([add] if add else [])
    obj.Set(iface, name, dbus.Array(paths, signature='o'))

def _deny_if_asked(action, iface=MANAGER_IFACE):
    if action in _st()['denied']:
        _fail(iface + '.PermissionDenied', 'Not authorized to perform this operation')

def _set_device_state(dev, new, reason):
    old = dev.Get(DEVICE_IFACE, 'State')
    if int(old) != int(new):
        dev.Set(DEVICE_IFACE, 'State', dbus.UInt32(new))
        dev.EmitSignal(DEVICE_IFACE, 'StateChanged', 'uuu', [dbus.UInt32(new), dbus.UInt32(old), dbus.UInt32(reason)])

def _set_ac_state(ac, state, reason):
    ac.Set(ACTIVE_IFACE, 'State', dbus.UInt32(state))
    ac.EmitSignal(ACTIVE_IFACE, 'StateChanged', 'uu', [dbus.UInt32(state), dbus.UInt32(reason)])

def _remove_active(dev_path, ac_path):
    nm, dev = _obj(MANAGER_OBJ), _obj(dev_path)
    dev.Set(DEVICE_IFACE, 'ActiveConnection', dbus.ObjectPath('/'))
    dev.Set(WIRELESS_IFACE, 'ActiveAccessPoint', dbus.ObjectPath('/'))
    conn_path = str(_obj(ac_path).Get(ACTIVE_IFACE, 'Connection'))
    nm.object_manager_emit_removed(ac_path)
    nm.RemoveObject(ac_path)
    if _exists(conn_path) and _obj(conn_path).persist == 'volatile':
        _delete_connection(conn_path)

def _deactivate_device(dev_path, reason):
    '''Takes the device's activation down (Disconnect, removal and a new join).'''
    dev = _obj(dev_path)
    ac_path = str(dev.Get(DEVICE_IFACE, 'ActiveConnection'))
    if ac_path == '/':
        return
    _st()['generation'][dev_path] = _st()['generation'].get(dev_path, 0) + 1
    _set_ac_state(_obj(ac_path), AC_DEACTIVATED, 3)
    _remove_active(dev_path, ac_path)
    _set_device_state(dev, DISCONNECTED, reason)

def _request_scan(self, _options):
    st, path = _st(), self.path
    if st['scan_mode'] == 'refuse':
        _fail('org.freedesktop.NetworkManager.Device.NotAllowed', 'Scanning not allowed now')
    if st['scan_mode'] == 'late':  # the request not answered in time, the rest of the interface answering
        _fail('org.freedesktop.DBus.Error.NoReply', 'Did not receive a reply')
    st['scan_requests'] += 1
    if st['scan_mode'] != 'never':
        _later(st['scan_ms'], lambda: _exists(path) and _obj(path).Set(
            WIRELESS_IFACE, 'LastScan', dbus.Int64(int(time.monotonic() * 1000))))

@dbus.service.method(MOCK_IFACE, in_signature='ss', out_signature='s')
def AddWirelessDevice(self, device_name, iface_name):
    path = self.AddWiFiDevice(device_name, iface_name, DISCONNECTED)
    dev = _obj(path)
    # No IP interface while disconnected, as NetworkManager (dbusmock's own name would hide a mix-up).
    dev.Set(DEVICE_IFACE, 'IpInterface', '')
    dev.AddProperty(WIRELESS_IFACE, 'ActiveAccessPoint', dbus.ObjectPath('/'))
    dev.AddProperty(WIRELESS_IFACE, 'LastScan', dbus.Int64(int(time.monotonic() * 1000)))
    dev.AddMethod(WIRELESS_IFACE, 'RequestScan', 'a{sv}', '', _request_scan)
    dev.AddMethod(DEVICE_IFACE, 'Disconnect', '', '', lambda dev: _deactivate_device(dev.path, REASON_USER_REQUESTED))
    return path

@dbus.service.method(MOCK_IFACE, in_signature='s', out_signature='')
def RemoveDevice(self, dev_path):
    _deactivate_device(dev_path, 36)  # removed
    _paths(_obj(MANAGER_OBJ), MANAGER_IFACE, 'Devices', drop=dev_path)
    self.object_manager_emit_removed(dev_path)
    self.RemoveObject(dev_path)

@dbus.service.method(MOCK_IFACE, in_signature='ssaysuyuuuuu', out_signature='s')
def AddAccessPoint2(self, dev_path, name, ssid, bssid, frequency, strength, flags, wpa, rsn, bandwidth, bitrate):
    '''Raw SSID bytes, separate WPA and RSN flags; bandwidth 0: none given (NetworkManager before 1.46).'''
    u32 = dbus.UInt32
    props = {'Ssid': _ssid(ssid), 'HwAddress': bssid, 'Flags': u32(flags), 'WpaFlags': u32(wpa), 'RsnFlags': u32(rsn),
             'Frequency': u32(frequency), 'Strength': dbus.Byte(strength), 'MaxBitrate': u32(bitrate), 'Mode': u32(2)}
    if bandwidth:
        props['Bandwidth'] = u32(bandwidth)
    return _add_access_point(dev_path, '/org/freedesktop/NetworkManager/AccessPoint/' + name, props)

def _ssid(value):
    return dbus.Array([dbus.Byte(b) for b in _bytes(value)], signature='y')

def _add_access_point(dev_path, path, props):
    nm, dev = _obj(MANAGER_OBJ), _obj(dev_path)
    nm.AddObject(path, AP_IFACE, props, [])
    nm.object_manager_emit_added(path)
    dev.access_points.append(path)
    dev.Set(WIRELESS_IFACE, 'AccessPoints', dbus.Array(dev.access_points, signature='o'))
    return path

@dbus.service.method(MOCK_IFACE, in_signature='say', out_signature='')
def SetHiddenSsid(self, ap_path, ssid):
    '''The name a hidden access point (empty Ssid) answers a probe for.'''
    _obj(ap_path).hidden_ssid = _bytes(ssid)

def _answers_probe(ap_path, settings):
    '''Whether a hidden access point answers the probe of a profile marked hidden: its name, and a key management
    it offers (the supplicant passes over one whose key management differs; the device then fails with reason 53).'''
    ap = _obj(ap_path)
    privacy = int(ap.Get(AP_IFACE, 'Flags')) & 1
    offered = int(ap.Get(AP_IFACE, 'WpaFlags')) | int(ap.Get(AP_IFACE, 'RsnFlags'))
    takes = {'': not privacy and not offered, 'none': privacy and not offered, 'owe': offered & 0x800,
             'wpa-psk': offered & 0x100, 'sae': offered & 0x400}
    return (getattr(ap, 'hidden_ssid', None) == _bytes(settings['802-11-wireless']['ssid'])
            and bool(takes.get(str(settings.get(SECURITY, {}).get('key-mgmt', '')))))

def _named_twin(dev_path, ap_path, ssid):
    '''Another access point object of the BSSID, named, as the real stack lists once a hidden one answered a probe.'''
    ap, twin = _obj(ap_path), ap_path + '_named'
    if twin not in _obj(dev_path).access_points:
        keys = ('HwAddress', 'Flags', 'WpaFlags', 'RsnFlags', 'Frequency', 'Strength', 'MaxBitrate', 'Mode')
        _add_access_point(dev_path, twin, {'Ssid': _ssid(ssid), **{k: ap.Get(AP_IFACE, k) for k in keys}})
    return twin

def _secret_flags(settings):
    return int(settings.get(SECURITY, {}).get('psk-flags', 0))

def _copy(settings):
    return {str(g): {str(k): v for k, v in values.items()} for g, values in settings.items()}

def _store(conn, settings):
    '''Secrets an agent owns (or that are never saved) are dropped; an agent-owned one goes to the keyring.'''
    settings = _copy(settings)
    flags = _secret_flags(settings)
    for key in SECRET_KEYS if flags & NOT_STORED else ():
        secret = settings.get(SECURITY, {}).pop(key, None)
        if secret is not None and flags & 1:
            _st()['keyring'][str(settings['connection']['uuid'])] = str(secret)
    conn.settings = settings

def _get_settings(self):
    return dbus.Dictionary({g: dbus.Dictionary({k: v for k, v in values.items() if k not in SECRET_KEYS},
                                               signature='sv') for g, values in self.settings.items()},
                           signature='sa{sv}')

def _update2(self, settings, flags, _args):
    '''Empty settings keep the current ones; flags: to disk (0x1), in memory only (0x2, 0x4, 0x8).'''
    if len(settings):
        _store(self, settings)
    self.persist = 'disk' if flags & 0x1 else 'memory' if flags & 0xe else self.persist
    self.EmitSignal(CONNECTION_IFACE, 'Updated', '', [])
    return dbus.Dictionary({}, signature='sv')

def _delete_connection(path):
    settings = _obj(SETTINGS_OBJ)
    _paths(settings, SETTINGS_IFACE, 'Connections', drop=path)
    settings.EmitSignal(SETTINGS_IFACE, 'ConnectionRemoved', 'o', [dbus.ObjectPath(path)])
    _obj(MANAGER_OBJ).object_manager_emit_removed(path)
    _obj(MANAGER_OBJ).RemoveObject(path)

def _add_connection(settings, persist):
    nm, st = _obj(MANAGER_OBJ), _st()
    settings = _copy(settings)
    settings.setdefault('connection', {}).setdefault('uuid', dbus.String(str(uuid.uuid4())))
    st['next_connection'] += 1
    path = f'{SETTINGS_OBJ}/{st["next_connection"]}'
    nm.AddObject(path, CONNECTION_IFACE, {}, [])
    conn = _obj(path)
    conn.persist = persist
    _store(conn, settings)
    conn.AddMethod(CONNECTION_IFACE, 'GetSettings', '', 'a{sa{sv}}', _get_settings)
    conn.AddMethod(CONNECTION_IFACE, 'Update2', 'a{sa{sv}}ua{sv}', 'a{sv}', _update2)
    nm.object_manager_emit_added(path)
    _paths(_obj(SETTINGS_OBJ), SETTINGS_IFACE, 'Connections', add=path)
    _obj(SETTINGS_OBJ).EmitSignal(SETTINGS_IFACE, 'NewConnection', 'o', [dbus.ObjectPath(path)])
    return path

@dbus.service.method(MOCK_IFACE, in_signature='ayssa{sv}', out_signature='s')
def AddSavedWifi(self, ssid, key_mgmt, secret, extra):
    '''A saved profile on disk; key_mgmt '' for an open network. extra: "secret-flags", "timestamp", "hidden".'''
    ssid = _bytes(ssid)
    # Nested values as a real profile has them, which an update must carry over unchanged.
    address = dbus.Dictionary({'address': '192.168.7.2', 'prefix': dbus.UInt32(24)}, signature='sv')
    settings = {'connection': {'id': ssid.decode('utf-8', 'replace'), 'type': '802-11-wireless',
                               'timestamp': dbus.UInt64(int(extra.get('timestamp', 0)))},
                '802-11-wireless': {'ssid': _ssid(ssid)},
                'ipv4': {'method': 'manual', 'dns': dbus.Array([dbus.UInt32(0x08080808)], signature='u'),
                         'address-data': dbus.Array([address], signature='a{sv}')}}
    if extra.get('hidden'):
        settings['802-11-wireless']['hidden'] = dbus.Boolean(True)
    if key_mgmt:
        settings[SECURITY] = {'key-mgmt': key_mgmt, 'psk-flags': dbus.UInt32(extra.get('secret-flags', 0))}
        if secret:
            settings[SECURITY]['psk'] = dbus.String(secret)
    return _add_connection(settings, 'disk')

@dbus.service.method(MOCK_IFACE, in_signature='s', out_signature='a{sv}')
def ConnectionSecrets(self, path):
    '''A profile's stored secrets, "persist" (disk, memory, volatile), the keyring's secret, its ipv4 group.'''
    conn = _obj(path)
    out = {k: v for values in conn.settings.values() for k, v in values.items() if k in SECRET_KEYS}
    out.update({'persist': conn.persist, 'ipv4': dbus.Dictionary(conn.settings.get('ipv4', {}), signature='sv')})
    keyring = _st()['keyring'].get(str(conn.settings['connection']['uuid']))
    if keyring is not None:
        out['keyring'] = dbus.String(keyring)
    return dbus.Dictionary(out, signature='sv')

@dbus.service.method(MOCK_IFACE, in_signature='ayssu', out_signature='')
def SetNetworkBehaviour(self, ssid, secret, outcome, reason):
    '''A join of ssid: 'secret' (works with this secret, else fails with reason or 7), 'fail', 'stall' or
    'no-address' (authenticates, then waits for DHCP in vain).'''
    _st()['networks'][_bytes(ssid)] = (str(secret), str(outcome), int(reason))

@dbus.service.method(MOCK_IFACE, in_signature='sv', out_signature='')
def SetBehaviour(self, name, value):
    '''Behaviour switches: step_ms (between two states of an activation; negative: every state change before
    the activation call returns), scan_mode ('normal', 'refuse', 'never', 'late'), denied ('Register', 'WirelessEnabled').'''
    _st()[str(name)] = set(str(a) for a in value) if str(name) == 'denied' else value

@dbus.service.method(MOCK_IFACE, in_signature='', out_signature='a{sv}')
def Counters(self):
    return dbus.Dictionary({k: dbus.UInt32(_st()[k]) for k in ('scan_requests', 'activations', 'agent_requests')})

class _AgentManager(dbus.service.Object):
    '''One agent per identifier, dropped when it leaves the bus.'''
    interface = AGENT_MANAGER_IFACE
    methods = {}  # none added at run time: dbusmock's method lookup then falls back to the class's

    def __init__(self, bus_name):
        super().__init__(bus_name, '/org/freedesktop/NetworkManager/AgentManager')
        self.agents = []  # (sender, identifier), oldest first

    @dbus.service.method(AGENT_MANAGER_IFACE, in_signature='su', sender_keyword='sender')
    def RegisterWithCapabilities(self, identifier, _capabilities, sender=None):
        _deny_if_asked('Register', AGENT_MANAGER_IFACE)
        self.agents.append((str(sender), str(identifier)))
        self.connection.watch_name_owner(
            sender, lambda owner: owner or setattr(self, 'agents', [a for a in self.agents if a[0] != sender]))

def _ask_agents(conn, flags):
    '''Secrets from the agents, newest first, then the keyring; one without passes on, one cancelling ends it.'''
    st = _st()
    manager, canceled = st['agent_manager'], AGENT_MANAGER_IFACE + '.UserCanceled'
    for sender, _ in reversed(manager.agents):
        st['agent_requests'] += 1
        try:
            secrets = manager.connection.call_blocking(
                sender, '/org/freedesktop/NetworkManager/SecretAgent', AGENT_IFACE, 'GetSecrets', 'a{sa{sv}}osasu',
                (_get_settings(conn), dbus.ObjectPath(conn.path), SECURITY, dbus.Array([], signature='s'),
                 dbus.UInt32(flags)), timeout=5)
            if len(secrets.get(SECURITY, {})):
                return {str(k): v for k, v in secrets[SECURITY].items()}
        except dbus.exceptions.DBusException as e:
            if e.get_dbus_name() == AGENT_IFACE + '.UserCanceled':
                _fail(canceled, 'User canceled the secrets request.')
    keyring = st['keyring'].get(str(conn.settings['connection']['uuid']))
    if keyring is None:
        _fail(AGENT_MANAGER_IFACE + '.NoSecrets', 'No agents were available for this request.')
    if flags & REQUEST_NEW:  # the desktop asks the user, who cancels or (desktop_answer) types one
        if not st.get('desktop_answer'):
            _fail(canceled, 'User canceled the secrets request.')
        return {'psk': dbus.String(st['desktop_answer'])}
    return {'psk': dbus.String(keyring)}

def _secret_for_activation(conn, flags):
    '''The stored secret, else the agents', written at once into a profile keeping its own (as NetworkManager).'''
    sec = conn.settings.get(SECURITY, {})
    stored = [str(sec[k]) for k in ('psk', 'wep-key0') if k in sec]
    if stored and not flags & REQUEST_NEW:
        return stored[0]
    given = _ask_agents(conn, flags)
    if not _secret_flags(conn.settings) & NOT_STORED:
        conn.settings[SECURITY].update(given)
        conn.EmitSignal(CONNECTION_IFACE, 'Updated', '', [])
    return str(next(iter(given.values()), ''))

def _start_activation(conn_path, dev_path, specific):
    nm, st, conn, dev = _obj(MANAGER_OBJ), _st(), _obj(conn_path), _obj(dev_path)
    st['activations'] += 1
    ssid = _bytes(conn.settings.get('802-11-wireless', {}).get('ssid', []))
    ap_path = specific if specific in dev.access_points else next(
        (p for p in dev.access_points if _bytes(_obj(p).Get(AP_IFACE, 'Ssid')) == ssid), None)
    if ap_path is None and conn.settings['802-11-wireless'].get('hidden'):  # probes for the name
        ap_path = next((p for p in dev.access_points if _answers_probe(p, conn.settings)), None)
        if ap_path is not None:  # the answer is listed beside the nameless beacons, under the name
            ap_path = _named_twin(dev_path, ap_path, ssid)
    _deactivate_device(dev_path, REASON_NONE)
    generation = st['generation'][dev_path] = st['generation'].get(dev_path, 0) + 1
    st['next_active'] += 1
    ac_path = f'/org/freedesktop/NetworkManager/ActiveConnection/{st["next_active"]}'
    nm.AddObject(ac_path, ACTIVE_IFACE, {
        'Connection': dbus.ObjectPath(conn_path), 'SpecificObject': dbus.ObjectPath(ap_path or '/'),
        'Devices': dbus.Array([dbus.ObjectPath(dev_path)], signature='o'), 'State': dbus.UInt32(AC_ACTIVATING)}, [])
    nm.object_manager_emit_added(ac_path)
    dev.Set(DEVICE_IFACE, 'ActiveConnection', dbus.ObjectPath(ac_path))

    secret, outcome, reason = st['networks'].get(ssid, ('', 'secret', 0))
    if ap_path is None:
        outcome, reason = 'fail', 53  # SSID not found
    steps = [(PREPARE, 0), (CONFIG, 0)] + ([(NEED_AUTH, 0), (FAILED, reason)] if outcome == 'fail' else [])

    def authenticated():
        '''The stored secret, else the agents'; after a wrong one a new one, up to three tries.'''
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

    def run(index):
        if st['generation'].get(dev_path) != generation or not _exists(ac_path):
            return  # superseded by another activation or a disconnect
        state, why = steps[index]
        ac = _obj(ac_path)
        if state == ACTIVATED:
            dev.Set(WIRELESS_IFACE, 'ActiveAccessPoint', dbus.ObjectPath(ap_path))
            dev.Set(WIRELESS_IFACE, 'Bitrate', _obj(ap_path).Get(AP_IFACE, 'MaxBitrate'))
            _set_device_state(dev, ACTIVATED, 0)
            _set_ac_state(ac, AC_ACTIVATED, 1)
        elif state == FAILED:
            _set_device_state(dev, FAILED, why)
            _set_ac_state(ac, AC_DEACTIVATED, 9 if why == REASON_NO_SECRETS else 1)
            _remove_active(dev_path, ac_path)
        else:
            _set_device_state(dev, state, why)
        if state == CONFIG and outcome in ('secret', 'no-address'):
            # 'no-address': no DHCP answer; NetworkManager then waits in IP configuration for
            # 45 s, longer than a join waits.
            steps.extend(([(IP_CONFIG, 0)] + ([(ACTIVATED, 0)] if outcome == 'secret' else [])) if authenticated()
                         else [(NEED_AUTH, 0), (FAILED, reason or REASON_NO_SECRETS)])
        if index + 1 < len(steps) and _exists(ac_path):
            schedule(index + 1)

    def schedule(index):
        if st['step_ms'] < 0:
            run(index)
        else:
            _later(st['step_ms'], lambda: run(index))
    schedule(0)
    return ac_path

def _activate(self, conn_path, dev_path, specific):
    return dbus.ObjectPath(_start_activation(str(conn_path), str(dev_path), str(specific)))

def _add_and_activate2(self, settings, dev_path, specific, options):
    if len(settings.get('802-11-wireless', {}).get('ssid', [])) == 0:
        _fail('org.freedesktop.NetworkManager.Settings.Connection.MissingProperty',
              '802-11-wireless.ssid: property is missing')
    conn_path = _add_connection(settings, str(options.get('persist', 'disk')))
    return (dbus.ObjectPath(conn_path), dbus.ObjectPath(_start_activation(conn_path, str(dev_path), str(specific))),
            dbus.Dictionary({}, signature='sv'))

def _properties_set(self, iface, name, value):
    if str(name) == 'WirelessEnabled':
        _deny_if_asked('WirelessEnabled')
    dbusmock.mockobject.DBusMockObject.Set(self, iface, name, value)

def _deactivate(self, ac_path):
    for dev_path in _obj(str(ac_path)).Get(ACTIVE_IFACE, 'Devices') if _exists(str(ac_path)) else ():
        _deactivate_device(str(dev_path), REASON_USER_REQUESTED)

def load(mock, parameters):
    stock.load(mock, parameters)
    nm = _obj(MANAGER_OBJ)
    nm.ondrel = {'networks': {}, 'denied': set(), 'step_ms': int(parameters.get('ActivationStepMs', 30)),
                 'scan_mode': 'normal', 'scan_ms': int(parameters.get('ScanMs', 100)), 'scan_requests': 0,
                 'activations': 0, 'next_connection': 0, 'next_active': 0, 'generation': {}, 'keyring': {},
                 'agent_requests': 0}
    if getattr(mock, 'ondrel_agents', None):  # a Reset: the previous one leaves the bus
        mock.ondrel_agents.remove_from_connection()
    nm.ondrel['agent_manager'] = mock.ondrel_agents = _AgentManager(nm.bus_name)
    nm.AddMethod(MANAGER_IFACE, 'ActivateConnection', 'ooo', 'o', _activate)
    nm.AddMethod(MANAGER_IFACE, 'AddAndActivateConnection2', 'a{sa{sv}}ooa{sv}', 'ooa{sv}', _add_and_activate2)
    nm.AddMethod(MANAGER_IFACE, 'DeactivateConnection', 'o', '', _deactivate)
    nm.AddMethod('org.freedesktop.DBus.Properties', 'Set', 'ssv', '', _properties_set)
