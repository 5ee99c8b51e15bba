'''python-dbusmock template of iwd 2.3 (net.connman.iwd) running alone, as it was seen to behave in the
lab on mac80211_hwsim radios; README.md beside this file lists what was seen.

Times are parameters (milliseconds): ScanMs, StepMs (between two states of a join), FailMs (a rejected
passphrase), AgentTimeoutMs. Control methods are on org.freedesktop.DBus.Mock at "/".'''

import os
import time

import dbus
import dbus.service
from gi.repository import GLib

import dbusmock
from dbusmock import MOCK_IFACE
from dbusmock.mockobject import OBJECT_MANAGER_IFACE

BUS_NAME, MAIN_OBJ, SYSTEM_BUS, IS_OBJECT_MANAGER = 'net.connman.iwd', '/', True, True
DAEMON_OBJ, ADAPTER_OBJ = '/net/connman/iwd', '/net/connman/iwd/0'
P = 'net.connman.iwd.'
AGENT_MANAGER, AGENT, ADAPTER, DEVICE, STATION = (P + n for n in ('AgentManager', 'Agent', 'Adapter', 'Device',
                                                                  'Station'))
DIAGNOSTIC, NETWORK, KNOWN, PROPS = P + 'StationDiagnostic', P + 'Network', P + 'KnownNetwork', dbus.PROPERTIES_IFACE
FILE_CHARS = set('abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789 -_')

_obj = dbusmock.get_object
_MAIN = []  # the mock's main object at "/", set by load() (not yet among dbusmock's objects while it runs)

def _main():
    return _MAIN[0]

def _st():
    return _main().iwd

def _exists(path):
    return path in dbusmock.mockobject.objects

def _fail(name, text):
    return dbus.exceptions.DBusException(text, name=P + name)

def _deny_if_asked(what):
    '''A method or property the bus policy refuses (behaviour "denied").'''
    if what in _st()['denied']:
        raise dbus.exceptions.DBusException('Rejected send message', name='org.freedesktop.DBus.Error.AccessDenied')

def _later(ms, fn):
    '''Runs fn once after ms milliseconds on the mock's main loop, unless the mock was reset meanwhile.'''
    state = _st()
    GLib.timeout_add(max(0, int(ms)), lambda: (_st() is state and fn()) and False)

def _change(path, iface, changes, invalidated=()):
    obj = _obj(path)
    obj.props[iface].update(changes)
    for name in invalidated:
        obj.props[iface].pop(name, None)
    obj.EmitSignal(PROPS, 'PropertiesChanged', 'sa{sv}as',
                   [iface, dbus.Dictionary(changes, signature='sv'), dbus.Array(invalidated, signature='s')])

def _add_interfaces(path, interfaces):
    '''interfaces: iface -> properties; the object is created when it does not exist (its primary interface
    the first one: never Properties, whose methods dbusmock would then replace on every object).'''
    if not _exists(path):
        _main().AddObject(path, next(iter(interfaces)), {}, [])
    obj = _obj(path)
    obj.props.update({iface: dbus.Dictionary(props, signature='sv') for iface, props in interfaces.items()})
    _main().EmitSignal(OBJECT_MANAGER_IFACE, 'InterfacesAdded', 'oa{sa{sv}}',
                       [dbus.ObjectPath(path), {i: obj.props[i] for i in interfaces}])
    return obj

def _remove_interfaces(path, interfaces=None):
    '''The whole object without `interfaces`.'''
    if not _exists(path):
        return
    obj = _obj(path)
    gone = list(interfaces if interfaces is not None else obj.props)
    for iface in gone:
        obj.props.pop(iface, None)
    _main().EmitSignal(OBJECT_MANAGER_IFACE, 'InterfacesRemoved', 'oas',
                       [dbus.ObjectPath(path), dbus.Array(gone, signature='s')])
    if interfaces is None:
        _main().RemoveObject(path)

def _hex(name):
    return name.encode('utf-8').hex()

def _file_name(name, kind):
    return (name if set(name) <= FILE_CHARS else '=' + _hex(name)) + '.' + kind

class _Network:
    '''A network in the air: what a scan finds.'''
    def __init__(self, name, kind, signal, secret, options):
        self.name, self.kind, self.signal, self.secret = str(name), str(kind), int(signal), str(secret)
        self.hidden = bool(options.get('hidden', False))
        self.address = str(options.get('address', '02:00:00:00:00:01'))
        self.frequency = int(options.get('frequency', 2412))
        self.outcome = str(options.get('outcome', 'ok'))  # 'ok', 'fail' (refused), 'stall', 'noaddress'

def _station():
    return _st()['station']

def _powered():
    st = _st()
    return st['station'] is not None and _exists(st['station']) and STATION in _obj(st['station']).props

def _network_path(net):
    return f'{_station()}/{_hex(net.name)}_{net.kind}'

def _known_path(name, kind):
    return f'{DAEMON_OBJ}/{_hex(name)}_{kind}'

def _known(name, kind):
    return _st()['known'].get((name, kind))

def _now_text():
    return time.strftime('%Y-%m-%dT%H:%M:%SZ', time.gmtime())

def _write_file(known):
    sections = []
    if known['hidden'] or not known['autoconnect']:
        lines = (['Hidden=true'] if known['hidden'] else []) + ([] if known['autoconnect'] else ['AutoConnect=false'])
        sections.append('[Settings]\n' + '\n'.join(lines) + '\n')
    if known['kind'] == 'psk':
        sections.append(f'[Security]\nPassphrase={known["secret"]}\n')
    _st()['files'][_file_name(known['name'], known['kind'])] = '\n'.join(sections)

def _store(name, kind, secret, hidden):
    '''A known network as iwd keeps it: object and file.'''
    st = _st()
    known = _known(name, kind)
    if known is None:
        known = st['known'][(name, kind)] = {'name': name, 'kind': kind, 'secret': secret, 'hidden': hidden,
                                             'autoconnect': True, 'ask': False}
        path = _known_path(name, kind)
        obj = _add_interfaces(path, {KNOWN: {'Name': name, 'Type': kind, 'Hidden': dbus.Boolean(hidden),
                                             'AutoConnect': dbus.Boolean(True), 'LastConnectedTime': _now_text()}})
        obj.AddMethod(KNOWN, 'Forget', '', '', lambda self: _forget(self.path))
        obj.AddMethod(PROPS, 'Set', 'ssv', '', _known_set)
        for net in st['air']:
            if (net.name, net.kind) == (name, kind) and _exists(_network_path(net)):
                _change(_network_path(net), NETWORK, {'KnownNetwork': dbus.ObjectPath(path)})
    else:
        known['secret'] = secret
        _change(_known_path(name, kind), KNOWN, {'LastConnectedTime': _now_text()})
    known['ask'] = False
    _write_file(known)

def _forget(path):
    st = _st()
    for key, known in list(st['known'].items()):
        if _known_path(*key) == path:
            del st['known'][key]
            st['files'].pop(_file_name(*key), None)
            for net in st['air']:
                if (net.name, net.kind) == key and _exists(_network_path(net)):
                    _change(_network_path(net), NETWORK, {}, ['KnownNetwork'])
            _remove_interfaces(path)

def _known_set(self, iface, name, value):
    if str(name) != 'AutoConnect':
        raise _fail('NotSupported', 'Operation not supported')
    for key, known in _st()['known'].items():
        if _known_path(*key) == self.path:
            known['autoconnect'] = bool(value)
            _write_file(known)
    _change(self.path, KNOWN, {'AutoConnect': dbus.Boolean(bool(value))})

def _show_network(net):
    path = _network_path(net)
    if _exists(path):
        return path
    props = {'Name': net.name, 'Connected': dbus.Boolean(False), 'Device': dbus.ObjectPath(_station()),
             'Type': net.kind}
    if _known(net.name, net.kind):
        props['KnownNetwork'] = dbus.ObjectPath(_known_path(net.name, net.kind))
    obj = _add_interfaces(path, {NETWORK: props})
    obj.methods.setdefault(NETWORK, {})['Connect'] = ('', '', '', _Async.connect)
    return path

def _visible(net):
    return not net.hidden or _known(net.name, net.kind) is not None

def _finish_scan():
    st = _st()
    if not _powered():
        return
    if st['scan_mode'] == 'twice' and not st['rescanning']:
        # Another client's scan, asked during this one, runs right after; only its end updates the list.
        st['rescanning'] = True
        _change(_station(), STATION, {'Scanning': dbus.Boolean(False)})
        _later(st['step_ms'], lambda: (_change(_station(), STATION, {'Scanning': dbus.Boolean(True)}),
                                       _later(st['scan_ms'], _finish_scan)))
        return
    st['rescanning'] = False
    wanted = {_network_path(n): n for n in st['air'] if _visible(n)}
    for path in [p for p in dbusmock.mockobject.objects if p.startswith(_station() + '/')]:
        if path not in wanted and path != st['joining']:
            _remove_interfaces(path)
    for net in wanted.values():
        _show_network(net)
    st['scanning_now'] = False
    _change(_station(), STATION, {'Scanning': dbus.Boolean(False)})

def _scan(self):
    st = _st()
    st['scan_requests'] += 1
    _deny_if_asked('Scan')
    if st['scanning_now'] or st['scan_mode'] == 'busy':
        raise _fail('InProgress', 'Operation already in progress')
    st['scanning_now'] = True
    _change(self.path, STATION, {'Scanning': dbus.Boolean(True)})
    if st['scan_mode'] != 'never':
        _later(st['scan_ms'], _finish_scan)

def _ordered(self):
    connected = str(_obj(self.path).props[STATION].get('ConnectedNetwork', ''))

    def rank(n):
        return 0 if _network_path(n) == connected else 1 if _known(n.name, n.kind) else 2
    rows = [(rank(n), -n.signal, _network_path(n), n.signal) for n in _st()['air'] if _exists(_network_path(n))]
    return dbus.Array([dbus.Struct((dbus.ObjectPath(p), dbus.Int16(s)), signature='on') for _, _, p, s in sorted(rows)],
                      signature='(on)')

def _hidden(self):
    return dbus.Array([dbus.Struct((n.address, dbus.Int16(n.signal), n.kind), signature='sns')
                       for n in sorted(_st()['air'], key=lambda n: -n.signal) if n.hidden], signature='(sns)')

def _set_state(state, network=None):
    changes = {'State': state, **({'ConnectedNetwork': dbus.ObjectPath(network)} if network else {})}
    gone = ['ConnectedNetwork'] if not network and state in ('disconnected', 'disconnecting') else []
    _change(_station(), STATION, changes, gone)

def _drop_link(state='disconnected'):
    '''Takes the station off its network (Disconnect, a failed join, a new join).'''
    station = _station()
    props = _obj(station).props[STATION]
    current = str(props.get('ConnectedNetwork', ''))
    if DIAGNOSTIC in _obj(station).props:
        _remove_interfaces(station, [DIAGNOSTIC])
    if current or props['State'] != 'disconnected':
        _set_state(state)
    if current and _exists(current):
        _change(current, NETWORK, {'Connected': dbus.Boolean(False)})

def _abort_join(name='Aborted', text='Operation aborted'):
    st = _st()
    join = st['join']
    st['join'] = None
    if join:
        st['generation'] += 1
        join['error'](_fail(name, text))
        if join['hidden'] and not _known(join['net'].name, join['net'].kind):
            _remove_interfaces(_network_path(join['net']))
        st['joining'] = None

def _agent_for(sender):
    agents = _st()['agents']
    return next((a for a in agents if a[0] == sender), agents[0] if agents else None)

def _begin_join(net, reply, error, sender, hidden=False):
    st = _st()
    st['connects'] += 1
    path = _network_path(net)
    station = _obj(_station()).props[STATION]
    if str(station.get('ConnectedNetwork', '')) == path and station['State'] == 'connected':
        return reply()
    if st['join']:
        return error(_fail('Aborted', 'Operation aborted'))
    known = _known(net.name, net.kind)
    if net.kind == '8021x' and not known:
        return error(_fail('NotConfigured', 'Not configured'))
    st['join'] = {'net': net, 'reply': reply, 'error': error, 'hidden': hidden, 'from_agent': False,
                  'phase': 'agent'}
    st['joining'] = path
    generation = st['generation'] = st['generation'] + 1
    if net.kind not in ('psk', 'wep') or (known and not known['ask']):
        return _associate(generation, known['secret'] if known else '')
    agent = _agent_for(sender)
    if agent is None:
        st['join'] = st['joining'] = None
        return error(_fail('NoAgent', 'No Agent registered'))
    if st['impostor']:
        st['impostor_told'] = _impostor_asks(agent, path)
    st['join']['ask'] = lambda: _ask_agent(agent, net, path, generation)
    st['join']['ask']()

def _ask_agent(agent, net, path, generation):
    st = _st()
    st['agent_requests'] += 1

    def answered(secret):
        if st['generation'] != generation:
            return
        if len(str(secret)) < 8 and net.kind == 'psk':
            return _abort_join('InvalidFormat', 'Argument format is invalid')
        st['join']['from_agent'] = True
        _associate(generation, str(secret))

    def refused(_e):
        if st['generation'] == generation:
            _abort_join()

    def timed_out():
        if st['generation'] == generation and not st['join']['from_agent']:
            _main().connection.call_async(agent[0], agent[1], AGENT, 'Cancel', 's', ('timed-out',), None, None)
            _abort_join()
    _main().connection.call_async(agent[0], agent[1], AGENT, 'RequestPassphrase', 'o', (dbus.ObjectPath(path),),
                                  answered, refused, timeout=st['agent_timeout_ms'] / 1000 + 5)
    _later(st['agent_timeout_ms'], timed_out)

def _impostor_asks(agent, path):
    '''What another client of the bus, not iwd, is told when it asks the agent for the joined network's passphrase.'''
    bus = dbus.bus.BusConnection(os.environ.get('DBUS_STARTER_ADDRESS') or os.environ['DBUS_SYSTEM_BUS_ADDRESS'])
    try:
        bus.call_blocking(agent[0], agent[1], AGENT, 'RequestPassphrase', 'o', (dbus.ObjectPath(path),), timeout=5)
        return 'answered'
    except dbus.exceptions.DBusException as e:
        return e.get_dbus_name()
    finally:
        bus.close()

def _associate(generation, secret):
    st = _st()
    join = st['join']
    join['phase'] = 'link'
    net, path = join['net'], _network_path(join['net'])
    _drop_link('disconnecting')
    _set_state('connecting', path)
    _change(path, NETWORK, {'Connected': dbus.Boolean(True)})
    right = net.kind not in ('psk', 'wep') or secret == net.secret

    def end():
        if st['generation'] != generation or st['join'] is not join or net.outcome == 'stall':
            return
        if not right and join['from_agent'] and st['reask']:
            # Asked again for the passphrase the agent gave, which was rejected.
            join['from_agent'], join['phase'] = False, 'agent'
            _drop_link()
            return join['ask']()
        if not right or net.outcome == 'fail':
            known = _known(net.name, net.kind)
            if known:
                known['ask'] = True
            st['join'] = st['joining'] = None
            _drop_link()
            if join['hidden'] and not known:
                _remove_interfaces(path)
            join['error'](_fail('Failed', 'Operation failed'))
            _later(st['step_ms'], _autoconnect)
            return
        st['join'] = st['joining'] = None
        join['reply']()
        _store(net.name, net.kind, secret, net.hidden)
        if net.outcome == 'noaddress':
            return  # iwd's own network configuration waits for an address that never comes
        _add_interfaces(_station(), {DIAGNOSTIC: {}})
        _set_state('connected')
    _later(st['step_ms'] if right and net.outcome != 'fail' else st['fail_ms'], end)

def _autoconnect():
    '''After a failed join iwd joins a known network in range by itself.'''
    st = _st()
    if not st['autoconnect'] or st['join'] or not _powered() or \
            _obj(_station()).props[STATION]['State'] != 'disconnected':
        return
    for net in sorted(st['air'], key=lambda n: -n.signal):
        known = _known(net.name, net.kind)
        if known and known['autoconnect'] and not known['ask'] and net.outcome == 'ok' and \
                _exists(_network_path(net)) and (net.kind not in ('psk', 'wep') or known['secret'] == net.secret):
            st['join'] = {'net': net, 'reply': lambda: None, 'error': lambda e: None, 'hidden': False,
                          'from_agent': False, 'phase': 'link'}
            st['joining'] = _network_path(net)
            st['generation'] += 1
            return _associate(st['generation'], known['secret'])

class _Async:
    '''Methods that answer later, registered on the objects by hand (dbusmock's own methods answer at once).'''

    @dbus.service.method(NETWORK, in_signature='', out_signature='', async_callbacks=('reply', 'error'),
                         sender_keyword='sender', path_keyword='path')
    def connect(self, reply=None, error=None, sender=None, path=None):
        net = next((n for n in _st()['air'] if _exists(path) and _network_path(n) == path), None)
        if net is None:
            return error(dbus.exceptions.DBusException('No such object', name='org.freedesktop.DBus.Error.UnknownObject'))
        _begin_join(net, reply, error, sender)

    @dbus.service.method(STATION, in_signature='s', out_signature='', async_callbacks=('reply', 'error'),
                         sender_keyword='sender')
    def connect_hidden(self, name, reply=None, error=None, sender=None):
        st = _st()
        name = str(name)
        visible = [n for n in st['air'] if n.name == name and _visible(n)]
        if visible:
            known = any(_known(n.name, n.kind) for n in visible)
            return error(_fail('AlreadyProvisioned', 'Already provisioned') if known else _fail('NotHidden', 'Not hidden'))

        def after_scan():
            net = next((n for n in st['air'] if n.name == name and n.hidden), None)
            if net is None:
                return error(_fail('NotFound', 'Object not found'))
            _show_network(net)
            _begin_join(net, reply, error, sender, hidden=True)
        _later(st['scan_ms'], after_scan)

    @dbus.service.method(AGENT_MANAGER, in_signature='o', out_signature='', sender_keyword='sender')
    def register_agent(self, path, sender=None):
        st = _st()
        _deny_if_asked('RegisterAgent')
        if any(a[0] == sender for a in st['agents']):
            raise _fail('AlreadyExists', 'Object already exists')
        st['agents'].append((str(sender), str(path)))

        def gone(owner):
            if not owner:
                st['agents'] = [a for a in st['agents'] if a[0] != sender]
        self.connection.watch_name_owner(sender, gone)
        if st['agent_exists']:
            # Kept from a registration of this client whose answer it never saw.
            raise _fail('AlreadyExists', 'Object already exists')

    @dbus.service.method(AGENT_MANAGER, in_signature='o', out_signature='', sender_keyword='sender')
    def unregister_agent(self, path, sender=None):
        _st()['agents'] = [a for a in _st()['agents'] if a != (str(sender), str(path))]

def _disconnect(self):
    '''A join still waiting for its passphrase goes on (as iwd's does); one on the link is aborted.'''
    st = _st()
    if st['join'] and st['join']['phase'] == 'link':
        _abort_join()
    _drop_link()

def _diagnostics(self):
    props = _obj(self.path).props[STATION]
    if props['State'] not in ('connected', 'roaming'):  # roaming: still on the BSS it leaves
        raise _fail('NotConnected', 'Not connected')
    net = next(n for n in _st()['air'] if _network_path(n) == str(props['ConnectedNetwork']))
    return dbus.Dictionary({'ConnectedBss': net.address, 'Frequency': dbus.UInt32(net.frequency),
                            'Security': 'WPA2-Personal' if net.kind == 'psk' else 'Open', 'RSSI': dbus.Int16(round(net.signal / 100)),
                            'AverageRSSI': dbus.Int16(round(net.signal / 100)), 'TxBitrate': dbus.UInt32(540),
                            'RxBitrate': dbus.UInt32(10)}, signature='sv')

def _add_station():
    st = _st()
    obj = _add_interfaces(st['station'], {STATION: {'Scanning': dbus.Boolean(False), 'State': 'disconnected'}})
    obj.AddMethod(STATION, 'Scan', '', '', _scan)
    obj.AddMethod(STATION, 'Disconnect', '', '', _disconnect)
    obj.AddMethod(STATION, 'GetOrderedNetworks', '', 'a(on)', _ordered)
    obj.AddMethod(STATION, 'GetHiddenAccessPoints', '', 'a(sns)', _hidden)
    obj.AddMethod(DIAGNOSTIC, 'GetDiagnostics', '', 'a{sv}', _diagnostics)
    obj.methods[STATION]['ConnectHiddenNetwork'] = ('s', '', '', _Async.connect_hidden)

def _power(on, device_only=False):
    st = _st()
    if not on and _powered():
        if st['join']:
            _abort_join()
        _drop_link()
        for path in [p for p in dbusmock.mockobject.objects if p.startswith(st['station'] + '/')]:
            _remove_interfaces(path)
        _remove_interfaces(st['station'], [STATION])
        _change(st['station'], DEVICE, {'Powered': dbus.Boolean(False)})
        st['scanning_now'] = False
    if not device_only:
        _change(ADAPTER_OBJ, ADAPTER, {'Powered': dbus.Boolean(on)})
    if on and not _powered() and _obj(ADAPTER_OBJ).props[ADAPTER]['Powered']:
        _add_station()
        _change(st['station'], DEVICE, {'Powered': dbus.Boolean(True)})

def _power_set(self, iface, name, value):
    if str(name) != 'Powered' or str(iface) not in (ADAPTER, DEVICE):
        raise dbus.exceptions.DBusException('Property not writable', name='org.freedesktop.DBus.Error.PropertyReadOnly')
    _deny_if_asked('Powered')
    if str(iface) == DEVICE and bool(value) and not _obj(ADAPTER_OBJ).props[ADAPTER]['Powered']:
        raise _fail('NotAvailable', 'Operation not available')
    _power(bool(value), device_only=str(iface) == DEVICE)

@dbus.service.method(MOCK_IFACE, in_signature='s', out_signature='s')
def AddDevice(self, name):
    '''The adapter phy0 with its device NAME (a station, powered); returns the station's path.'''
    st = _st()
    if not _exists(ADAPTER_OBJ):
        adapter = _add_interfaces(ADAPTER_OBJ, {ADAPTER: {'Powered': dbus.Boolean(True), 'Name': 'phy0',
                                                          'SupportedModes': dbus.Array(['station'], signature='s')}})
        adapter.AddMethod(PROPS, 'Set', 'ssv', '', _power_set)
    st['ifindex'] += 1
    st['station'] = f'{ADAPTER_OBJ}/{st["ifindex"]}'
    device = _add_interfaces(st['station'], {DEVICE: {'Name': name, 'Address': '02:00:00:00:00:00',
                                                      'Powered': dbus.Boolean(True), 'Adapter': dbus.ObjectPath(ADAPTER_OBJ),
                                                      'Mode': 'station'}})
    device.AddMethod(PROPS, 'Set', 'ssv', '', _power_set)
    _add_station()
    return st['station']

@dbus.service.method(MOCK_IFACE, in_signature='', out_signature='')
def RemoveDevice(self):
    st = _st()
    if st['station'] and _exists(st['station']):
        _power(False, device_only=True)
        _remove_interfaces(st['station'])
    st['station'] = None

@dbus.service.method(MOCK_IFACE, in_signature='ssnsa{sv}', out_signature='')
def AddNetwork(self, name, kind, signal, secret, options):
    '''A network in range (listed after the next scan): its passphrase, signal in 100 * dBm; options "hidden",
    "address", "frequency", "outcome" ('ok', 'fail': refused whatever the passphrase, 'stall', 'noaddress').'''
    RemoveNetwork(self, name, kind)
    _st()['air'].append(_Network(name, kind, signal, secret, options))

@dbus.service.method(MOCK_IFACE, in_signature='ss', out_signature='')
def RemoveNetwork(self, name, kind):
    '''The network leaves the air (its object goes at the next scan).'''
    st = _st()
    st['air'] = [n for n in st['air'] if (n.name, n.kind) != (str(name), str(kind))]

@dbus.service.method(MOCK_IFACE, in_signature='sssb', out_signature='')
def AddKnownNetwork(self, name, kind, secret, hidden):
    '''A network iwd has stored (as from an earlier join).'''
    _store(str(name), str(kind), str(secret), bool(hidden))

@dbus.service.method(MOCK_IFACE, in_signature='', out_signature='a{ss}')
def Files(self):
    '''/var/lib/iwd as iwd would have it: file name -> content.'''
    return dbus.Dictionary(_st()['files'], signature='ss')

@dbus.service.method(MOCK_IFACE, in_signature='sv', out_signature='')
def SetBehaviour(self, name, value):
    '''scan_mode ('normal', 'busy': every Scan answers InProgress, 'never': a scan never ends, 'twice': a second
    scan follows the first, and only it updates the list), autoconnect (bool), denied (refused by the bus policy:
    Scan, RegisterAgent, Powered), impostor (bool: another client asks the agent first at each join), reask (bool:
    a passphrase from the agent that is rejected is asked for again, not failed), agent_exists (bool: RegisterAgent
    keeps the agent yet answers AlreadyExists).'''
    _st()[str(name)] = set(str(a) for a in value) if str(name) == 'denied' else value

@dbus.service.method(MOCK_IFACE, in_signature='s', out_signature='')
def SetStationState(self, state):
    '''The station's State as iwd moves it by itself ('roaming', 'connected' again), the network it is on kept.'''
    _set_state(str(state))

@dbus.service.method(MOCK_IFACE, in_signature='', out_signature='a{su}')
def Counters(self):
    return dbus.Dictionary({k: dbus.UInt32(_st()[k]) for k in ('scan_requests', 'agent_requests', 'connects')},
                           signature='su')

@dbus.service.method(MOCK_IFACE, in_signature='', out_signature='s')
def Impostor(self):
    '''What another client asking the agent during the last join was told ("impostor" on): "answered" or the error.'''
    return _st()['impostor_told']

def load(mock, parameters):
    _MAIN[:] = [mock]
    mock.iwd = {'air': [], 'known': {}, 'files': {}, 'agents': [], 'denied': set(), 'station': None, 'ifindex': 16,
                'join': None, 'joining': None, 'generation': 0, 'scanning_now': False, 'rescanning': False, 'scan_mode': 'normal',
                'autoconnect': True, 'impostor': False, 'reask': False, 'agent_exists': False, 'impostor_told': '',
                'scan_requests': 0, 'agent_requests': 0, 'connects': 0,
                'scan_ms': int(parameters.get('ScanMs', 100)), 'step_ms': int(parameters.get('StepMs', 20)),
                'fail_ms': int(parameters.get('FailMs', 150)),
                'agent_timeout_ms': int(parameters.get('AgentTimeoutMs', 120000))}
    daemon = _add_interfaces(DAEMON_OBJ, {AGENT_MANAGER: {}, P + 'Daemon': {}})
    daemon.methods.setdefault(AGENT_MANAGER, {})['RegisterAgent'] = ('o', '', '', _Async.register_agent)
    daemon.methods[AGENT_MANAGER]['UnregisterAgent'] = ('o', '', '', _Async.unregister_agent)
