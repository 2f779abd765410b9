'''UDisks2 stand-in for the eject tests (python3-dbusmock template).

Drive "Acme" holds sdb1, sdb2 and the unmounted sdb3; drive "Other" holds sdc1.
Parameters (JSON): {"canPowerOff": Acme's, "busy": sdb2's, "mounts": {"sdb1": folder, ...}}.
Unmount clears MountPoints, or fails like udisks does when the volume is busy.
'''
import dbus
import dbusmock

BUS_NAME = 'org.freedesktop.UDisks2'
MAIN_OBJ = '/org/freedesktop/UDisks2'
MAIN_IFACE = 'org.freedesktop.DBus.ObjectManager'
SYSTEM_BUS = True
IS_OBJECT_MANAGER = True
FILESYSTEM = 'org.freedesktop.UDisks2.Filesystem'


def byte_string(text):
    return dbus.ByteArray(text.encode('utf-8') + b'\0')


def load(mock, parameters):
    for drive, power_off in (('Acme', parameters['canPowerOff']), ('Other', True)):
        mock.AddObject(MAIN_OBJ + '/drives/' + drive, 'org.freedesktop.UDisks2.Drive',
                       {'CanPowerOff': dbus.Boolean(power_off), 'Removable': dbus.Boolean(True)},
                       [('PowerOff', 'a{sv}', '', '')])
    for dev, drive in (('sdb1', 'Acme'), ('sdb2', 'Acme'), ('sdb3', 'Acme'), ('sdc1', 'Other')):
        path = MAIN_OBJ + '/block_devices/' + dev
        mock.AddObject(path, 'org.freedesktop.UDisks2.Block',
                       {'Device': byte_string('/dev/' + dev), 'Drive': dbus.ObjectPath(MAIN_OBJ + '/drives/' + drive)},
                       [])
        mounts = [byte_string(parameters['mounts'][dev])] if dev in parameters['mounts'] else []
        obj = dbusmock.get_object(path)
        obj.AddProperties(FILESYSTEM, {'MountPoints': dbus.Array(mounts, signature='ay')})
        code = "self.Set('%s', 'MountPoints', dbus.Array([], signature='ay'))" % FILESYSTEM
        if dev == 'sdb2' and parameters['busy']:
            code = ("raise dbus.exceptions.DBusException('Error unmounting /dev/sdb2: target is busy', "
                    "name='org.freedesktop.UDisks2.Error.DeviceBusy')")
        obj.AddMethod(FILESYSTEM, 'Unmount', 'a{sv}', '', code)
