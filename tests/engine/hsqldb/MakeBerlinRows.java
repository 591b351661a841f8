// Makes berlin-rows.data and berlin-rows.log with HSQLDB 1.8's own jar, in the zone of
// Berlin (dates are local midnights, 23:00 UTC), with every binary kind (newyork-rows.data
// the same way with TZ and user.timezone America/New_York, without the log):
//   javac -cp /usr/share/java/hsqldb1.8.0.jar MakeBerlinRows.java
//   TZ=Europe/Berlin java -Duser.timezone=Europe/Berlin -cp /usr/share/java/hsqldb1.8.0.jar:. MakeBerlinRows db/t log
// The data file is the checkpoint's; with a second argument the JVM stops without
// closing after more changes, which stay in db/t.log only.
import java.sql.*;

public class MakeBerlinRows {
    public static void main(String[] args) throws Exception {
        Class.forName("org.hsqldb.jdbcDriver");
        Connection c = DriverManager.getConnection("jdbc:hsqldb:file:" + args[0] + ";hsqldb.default_table_type=cached", "SA", "");
        Statement s = c.createStatement();
        s.execute("CREATE CACHED TABLE \"Bin\"(\"ID\" INTEGER NOT NULL PRIMARY KEY,\"B\" BINARY(4),\"VB\" VARBINARY(16),"
                  + "\"LVB\" LONGVARBINARY,\"D\" DATE,\"T\" TIME,\"TS\" TIMESTAMP)");
        PreparedStatement p = c.prepareStatement("INSERT INTO \"Bin\" VALUES(?,?,?,?,?,?,?)");
        for (int i = 0; i < 4; i++) {
            p.setInt(1, i);
            p.setBytes(2, new byte[] {(byte) 0xde, (byte) 0xad, (byte) i, (byte) 0xff});
            p.setBytes(3, new byte[] {0, 1, (byte) (0x80 + i)});
            byte[] big = new byte[40 + i];
            for (int k = 0; k < big.length; k++)
                big[k] = (byte) (k * 7 + i);
            p.setBytes(4, big);
            p.setDate(5, Date.valueOf("2000-02-2" + (6 + i)));
            p.setTime(6, Time.valueOf("13:45:5" + i));
            p.setTimestamp(7, Timestamp.valueOf("2024-01-0" + (1 + i) + " 23:30:59.123456789"));
            p.execute();
        }
        if (args.length > 1) {
            s.execute("CHECKPOINT");
            s.execute("SET WRITE_DELAY 0");
            s.execute("INSERT INTO \"Bin\" VALUES(9,'01020304','aa','bbcc','2001-01-01','01:02:03','2001-01-01 01:02:03.5')");
            s.execute("DELETE FROM \"Bin\" WHERE \"ID\"=1");
            s.execute("UPDATE \"Bin\" SET \"VB\"='0102' WHERE \"ID\"=2");
            s.execute("CREATE CACHED TABLE \"Late\"(\"K\" VARCHAR(10) NOT NULL PRIMARY KEY, \"N\" INTEGER)");
            s.execute("INSERT INTO \"Late\" VALUES('a''b', 5)");
            Runtime.getRuntime().halt(0);
        }
        s.execute("SHUTDOWN");
    }
}
