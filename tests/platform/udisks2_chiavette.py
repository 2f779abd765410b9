'''UDisks2 stand-in for the eject tests (python3-dbusmock template).

Parameters (JSON): {"drives": [{"path", "canPowerOff"}],
                    "blocks": [{"path", "device", "drive", "mounts": [...], "busy"}]}
Unmount clears MountPoints, or fails like udisks does when the volume is busy.
'''
import dbus
import dbusmock

BUS_NAME = 'org.freedesktop.UDisks2'
MAIN_OBJ = '/org/freedesktop/UDisks2'
MAIN_IFACE = 'org.freedesktop.DBus.ObjectManager'
SYSTEM_BUS = True
IS_OBJECT_MANAGER = True

DRIVE = 'org.freedesktop.UDisks2.Drive'
BLOCK = 'org.freedesktop.UDisks2.Block'
FILESYSTEM = 'org.freedesktop.UDisks2.Filesystem'


def byte_string(text):
    return dbus.ByteArray(text.encode('utf-8') + b'\0')


def load(mock, parameters):
    for drive in parameters.get('drives', []):
        mock.AddObject(drive['path'], DRIVE,
                       {'CanPowerOff': dbus.Boolean(drive['canPowerOff']),
                        'Ejectable': dbus.Boolean(True),
                        'Removable': dbus.Boolean(True),
                        'ConnectionBus': dbus.String('usb')},
                       [('PowerOff', 'a{sv}', '', ''), ('Eject', 'a{sv}', '', '')])
    for block in parameters.get('blocks', []):
        mock.AddObject(block['path'], BLOCK,
                       {'Device': byte_string(block['device']),
                        'Drive': dbus.ObjectPath(block['drive'])}, [])
        obj = dbusmock.get_object(block['path'])
        obj.AddProperties(FILESYSTEM, {'MountPoints': dbus.Array([byte_string(m) for m in block['mounts']],
                                                                 signature='ay')})
        if block.get('busy'):
            code = ("raise dbus.exceptions.DBusException('Error unmounting %s: target is busy', "
                    "name='org.freedesktop.UDisks2.Error.DeviceBusy')" % block['device'])
        else:
            code = "self.Set('%s', 'MountPoints', dbus.Array([], signature='ay'))" % FILESYSTEM
        obj.AddMethod(FILESYSTEM, 'Unmount', 'a{sv}', '', code)
